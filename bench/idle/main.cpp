// CPU of the window at rest, on each of its screens, against a minimal Qt Quick window in the
// same run: each window in a child process under one display (a private Xvfb without a
// DISPLAY), 5 s to settle after its first frame, then its CPU time over 30 s (75 s offline, to
// take in a whole refresh and the pause after it) as a share of one core, its resident memory
// at the end, and what woke it meanwhile (WakeCounter.h): counts that a busy machine does not
// change, where the CPU share is noisy. QM_BENCH_WAKE_SOURCES=1 lists the objects the timer
// events went to. Figures only; nothing is asserted.
// Goal: at most 1.2 % of one core on every screen, busy indicators included.
//   bench_idle [seconds] [mode ...]
// A short run (BenchRun.h) settles 1 s and measures 1 s on every screen; a screen that never
// paints fails the run, short or not.

#include "../BenchRun.h"
#include "../WindowBench.h"

#include <algorithm>
#include <cstdio>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--child") {
        return qm::bench::runChild(argc, argv, QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const qm::bench::Display display(env);
    const int seconds =
        argc >= 2 ? std::max(1, QByteArray(argv[1]).toInt()) : qm::bench::fullOrShort(30, 1);
    QStringList modes;
    for (int i = 2; i < argc; ++i) {
        modes << QString::fromLocal8Bit(argv[i]);
    }
    if (modes.isEmpty()) {
        modes = {QStringLiteral("minimal"),
                 QStringLiteral("welcome"),
                 QStringLiteral("lock"),
                 QStringLiteral("unlocked"),
                 QStringLiteral("offline"),
                 QStringLiteral("offline-bitcoin"),
                 QStringLiteral("offline-ethereum"),
                 QStringLiteral("offline-solana"),
                 QStringLiteral("refreshing")};
    }

    // The timer events' receivers too, to find what wakes a screen.
    const bool sources = qEnvironmentVariableIsSet("QM_BENCH_WAKE_SOURCES");
    int result = 0;
    std::printf("At rest: CPU (share of one core), resident memory, the main thread's wakeups, "
                "the window's frames and the timer events it was sent:\n");
    for (const QString& mode : modes) {
        const QByteArray name = mode.toLatin1();
        qm::bench::Child child(mode, env);
        if (child.waitForFirstFrame() < 0) {
            std::printf("  %-16s no frame\n", name.constData());
            result = 1;
            continue;
        }
        child.idle(qm::bench::fullOrShort(5000, 1000));
        const int span = mode.startsWith(QStringLiteral("offline")) && !qm::bench::shortRun()
                             ? std::max(seconds, 75)
                             : seconds;
        const std::optional<qm::bench::WakeCounts> wakesBefore = child.wakeCounts();
        const double before = child.cpuSeconds();
        child.idle(span * 1000);
        const double after = child.cpuSeconds();
        const std::optional<qm::bench::WakeCounts> wakesAfter = child.wakeCounts();
        if (before < 0 || after < 0 || !wakesBefore || !wakesAfter) {
            std::printf("  %-16s ended while idle\n", name.constData());
            result = 1;
            continue;
        }
        const qm::bench::WakeCounts wakes = wakesAfter->since(*wakesBefore);
        const auto perSecond = [span](long count) { return static_cast<double>(count) / span; };
        std::printf("  %-16s %5.1f %%  %6.1f MiB  %6.2f wakeups/s  %5.2f frames/s  %5.2f timer "
                    "events/s  (over %d s)\n",
                    name.constData(), 100.0 * (after - before) / span,
                    static_cast<double>(child.residentKiB()) / 1024.0, perSecond(wakes.wakeups),
                    perSecond(wakes.frames), perSecond(wakes.timerEvents), span);
        if (sources) {
            for (const auto& [receiver, count] : wakes.byReceiver()) {
                std::printf("      %-60s %8.2f/s\n", receiver.toLocal8Bit().constData(),
                            perSecond(count));
            }
        }
        std::fflush(stdout);
    }
    return result;
}
