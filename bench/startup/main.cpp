// Start-up of the window against a minimal Qt Quick window (one ApplicationWindow with a
// button and a chart), each in a child process under the same display (WindowBench.h):
//   - time from process start to the first painted frame (median of 5 starts), the wallet
//     through the program's own start path on a fresh data folder;
//   - resident memory after 10 s idle, with the wallet unlocked on loopback fixtures.
// Without a DISPLAY, a private Xvfb is started. Figures only; nothing is asserted.
// Goals: first frame at most 1.5x the minimal window's; memory at most the minimal's + 50 MiB.

#include "../WindowBench.h"

#include <algorithm>
#include <cstdio>
#include <vector>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

qint64 idleKiB(const char* mode, const QProcessEnvironment& env) {
    qm::bench::Child child(QString::fromLatin1(mode), env);
    if (child.waitForFirstFrame() < 0) {
        return -1;
    }
    child.idle(10000);
    return child.residentKiB();
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--child") {
        return qm::bench::runChild(argc, argv, QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const qm::bench::Display display(env);

    // First starts: nothing compiled yet. Later starts: over a cache that a start filled.
    std::vector<double> minimal, shell, minimalLater, shellLater;
    const QTemporaryDir minimalCache, shellCache;
    qm::bench::Child(QStringLiteral("minimal"), env, minimalCache.path()).waitForFirstFrame();
    qm::bench::Child(QStringLiteral("welcome"), env, shellCache.path()).waitForFirstFrame();
    for (int run = 0; run < 5; ++run) {
        minimal.push_back(qm::bench::Child(QStringLiteral("minimal"), env).waitForFirstFrame());
        shell.push_back(qm::bench::Child(QStringLiteral("welcome"), env).waitForFirstFrame());
        minimalLater.push_back(qm::bench::Child(QStringLiteral("minimal"), env, minimalCache.path())
                                   .waitForFirstFrame());
        shellLater.push_back(qm::bench::Child(QStringLiteral("welcome"), env, shellCache.path())
                                 .waitForFirstFrame());
    }
    const qint64 minimalKiB = idleKiB("minimal", env);
    const qint64 unlockedKiB = idleKiB("unlocked", env);

    std::printf("first painted frame (median of 5), first start: minimal window %.0f ms, "
                "Quillmark %.0f ms (%.2fx)\n",
                median(minimal), median(shell), median(shell) / median(minimal));
    std::printf("first painted frame (median of 5), later start: minimal window %.0f ms, "
                "Quillmark %.0f ms (%.2fx)\n",
                median(minimalLater), median(shellLater),
                median(shellLater) / median(minimalLater));
    std::printf("resident memory after 10 s idle: minimal window %.1f MiB, Quillmark unlocked "
                "%.1f MiB (+%.1f MiB)\n",
                minimalKiB / 1024.0, unlockedKiB / 1024.0, (unlockedKiB - minimalKiB) / 1024.0);
    return 0;
}
