// CPU of the window at rest, on each of its screens, against a minimal Qt Quick window in the
// same run: each window in a child process under one display (a private Xvfb without a
// DISPLAY), 5 s to settle after its first frame, then its CPU time over 30 s as a share of one
// core, and its resident memory at the end. Figures only; nothing is asserted.
// Goal: at most 2 % of one core on every screen.

#include "../WindowBench.h"

#include <cstdio>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--child") {
        return qm::bench::runChild(argc, argv, QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const qm::bench::Display display(env);
    const int seconds = argc == 2 ? std::max(1, QByteArray(argv[1]).toInt()) : 30;

    std::printf("CPU at rest over %d s (share of one core), resident memory:\n", seconds);
    for (const char* mode : {"minimal", "welcome", "lock", "unlocked"}) {
        qm::bench::Child child(QString::fromLatin1(mode), env);
        if (child.waitForFirstFrame() < 0) {
            std::printf("  %-9s no frame\n", mode);
            continue;
        }
        child.idle(5000);
        const double before = child.cpuSeconds();
        child.idle(seconds * 1000);
        const double after = child.cpuSeconds();
        std::printf("  %-9s %5.1f %%  %6.1f MiB\n", mode, 100.0 * (after - before) / seconds,
                    static_cast<double>(child.residentKiB()) / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}
