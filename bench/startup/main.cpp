// Start-up of the window against a minimal Qt Quick window (one ApplicationWindow with a
// button and a chart, on the wallet's renderer), each in a child process under the same
// display (WindowBench.h):
//   - time from process start to the first painted frame (median of 5 starts), the wallet
//     through the program's own start path on a fresh data folder: first starts on an empty
//     cache (nothing compiled yet), later starts over a cache an earlier start filled;
//   - the same first starts again in a D-Bus session with an unlocked gnome-keyring, whose
//     probe the wallet pays for at start (when dbus-run-session and gnome-keyring are here);
//   - resident memory after 10 s idle, with the wallet unlocked on loopback fixtures.
// Without a DISPLAY, a private Xvfb is started. Figures only; nothing is asserted.
// Goals: first start at most 1.5x the minimal window's, later starts at most 1.2x; memory at
// most the minimal's + 50 MiB.
// A short run (BenchRun.h) starts each once and idles 1 s; a start without a frame fails the
// run, short or not.

#include "../BenchRun.h"
#include "../WindowBench.h"

#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <vector>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace {

// Starts of each kind that make one median.
int starts() {
    return qm::bench::fullOrShort(5, 1);
}

// A start or a child that failed: the run's end status turns to failure.
bool failed = false;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

qint64 idleKiB(const char* mode, const QProcessEnvironment& env) {
    qm::bench::Child child(QString::fromLatin1(mode), env);
    if (child.waitForFirstFrame() < 0) {
        return -1;
    }
    child.idle(qm::bench::fullOrShort(10000, 1000));
    const qint64 kib = child.residentKiB();
    if (kib < 0) {
        std::fprintf(stderr, "bench_startup: the %s window ended while idle\n", mode);
        failed = true;
    }
    return kib;
}

double firstFrame(const char* mode, const QProcessEnvironment& env, const QString& cache = {}) {
    const double ms = qm::bench::Child(QString::fromLatin1(mode), env, cache).waitForFirstFrame();
    if (ms < 0) {
        std::fprintf(stderr, "bench_startup: the %s window painted no frame\n", mode);
        failed = true;
    }
    return ms;
}

void printRatio(const char* what, const std::vector<double>& minimal,
                const std::vector<double>& shell) {
    std::printf(
        "first painted frame (median of %zu), %s: minimal window %.0f ms, Quillmark %.0f ms "
        "(%.2fx)\n",
        minimal.size(), what, median(minimal), median(shell), median(shell) / median(minimal));
    std::fflush(stdout);
}

// First starts only, in the session bus of this process (which holds a keyring).
int keyringRuns(QProcessEnvironment env) {
    env.insert(QStringLiteral("QM_BENCH_SESSION_BUS"), QStringLiteral("1"));
    std::vector<double> minimal, shell;
    for (int run = 0; run < starts(); ++run) {
        minimal.push_back(firstFrame("minimal", env));
        shell.push_back(firstFrame("welcome", env));
    }
    printRatio("first start, unlocked gnome-keyring on the bus", minimal, shell);
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--child") {
        return qm::bench::runChild(argc, argv, QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const qm::bench::Display display(env);
    if (argc == 2 && QByteArray(argv[1]) == "--keyring") {
        return keyringRuns(env);
    }

    // First starts: nothing compiled yet. Later starts: over a cache that a start filled.
    std::vector<double> minimal, shell, minimalLater, shellLater;
    const QTemporaryDir minimalCache, shellCache;
    firstFrame("minimal", env, minimalCache.path());
    firstFrame("welcome", env, shellCache.path());
    for (int run = 0; run < starts(); ++run) {
        minimal.push_back(firstFrame("minimal", env));
        shell.push_back(firstFrame("welcome", env));
        minimalLater.push_back(firstFrame("minimal", env, minimalCache.path()));
        shellLater.push_back(firstFrame("welcome", env, shellCache.path()));
    }
    printRatio("first start, no session bus", minimal, shell);
    printRatio("later start, no session bus", minimalLater, shellLater);

    // Again in a session of its own with an unlocked keyring (the children share the display).
    const QString session = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
    const QString keyring = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (session.isEmpty() || keyring.isEmpty()) {
        std::puts("no dbus-run-session or gnome-keyring-daemon: no figures with a keyring");
    } else {
        const QTemporaryDir keyringHome;
        QProcessEnvironment inner = env;
        inner.insert(QStringLiteral("HOME"), keyringHome.path());
        inner.insert(QStringLiteral("XDG_DATA_HOME"), keyringHome.path());
        inner.insert(QStringLiteral("XDG_RUNTIME_DIR"), keyringHome.path());
        QProcess runs;
        runs.setProcessEnvironment(inner);
        runs.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        runs.start(session,
                   {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                    QStringLiteral("printf bench | \"$1\" --unlock --components=secrets "
                                   ">/dev/null && exec \"$2\" --keyring"),
                    QStringLiteral("sh"), keyring, QCoreApplication::applicationFilePath()});
        if (!runs.waitForFinished(600000) || runs.exitStatus() != QProcess::NormalExit ||
            runs.exitCode() != 0) {
            std::fputs("bench_startup: the starts with a keyring failed\n", stderr);
            failed = true;
        }
    }

    const qint64 minimalKiB = idleKiB("minimal", env);
    const qint64 unlockedKiB = idleKiB("unlocked", env);
    std::printf("resident memory after %d s idle: minimal window %.1f MiB, Quillmark unlocked "
                "%.1f MiB (%+.1f MiB)\n",
                qm::bench::fullOrShort(10, 1), minimalKiB / 1024.0, unlockedKiB / 1024.0,
                (unlockedKiB - minimalKiB) / 1024.0);
    return failed ? 1 : 0;
}
