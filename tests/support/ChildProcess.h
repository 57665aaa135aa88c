#pragma once
// Ending a server a fixture started (node scripts that run until their input closes).

#include <QProcess>

namespace qm::test {

// Closes the child's input, its sign to end, and kills it when it has not ended within 5 s.
inline void stopChildProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning) {
        return;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(5'000)) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace qm::test
