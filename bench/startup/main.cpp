// Start-up of the window against a minimal Qt Quick window (one ApplicationWindow with a
// button and a chart, built here), each in a child process under the same display:
//   - time from process start to the first painted frame (median of 5 starts), with the
//     wallet's window on a fresh data folder;
//   - resident memory after 10 s idle, with the wallet unlocked on loopback fixtures.
// Without a DISPLAY, a private Xvfb is started. Figures only; nothing is asserted.

#include "AppStateFixture.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace {

const char* minimalWindow = R"(
import QtQuick
import QtQuick.Controls
import QtCharts
ApplicationWindow {
    width: 1100; height: 700; visible: true; title: "Minimal"
    Column {
        anchors.fill: parent
        Button { text: "Button" }
        ChartView {
            width: 600; height: 400; antialiasing: true
            LineSeries { XYPoint { x: 0; y: 1 } XYPoint { x: 1; y: 3 } XYPoint { x: 2; y: 2 } }
        }
    }
}
)";

// Prints "frame" once the window has painted its first frame.
void reportFirstFrame(QQuickWindow* window) {
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [] {
            static bool reported = false;
            if (!reported) {
                reported = true;
                std::puts("frame");
                std::fflush(stdout);
            }
        },
        Qt::DirectConnection);
}

QQuickWindow* firstWindow(QQmlApplicationEngine& engine) {
    const auto roots = engine.rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
}

int runChild(QApplication& app, const QString& mode) {
    QQmlApplicationEngine engine;
    std::unique_ptr<qm::test::AppStateFixture> fixture;
    std::unique_ptr<qm::AppState> state;
    if (mode == QStringLiteral("minimal")) {
        engine.loadData(minimalWindow);
    } else {
        qm::BRFont::loadBundledFonts();
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        if (mode == QStringLiteral("unlocked")) {
            fixture = std::make_unique<qm::test::AppStateFixture>();
            fixture->state().loadStoredState();
            fixture->state().createWallet(qm::test::AppStateFixture::abandonPhrase(), "bench pw");
            qm::WalletShell::install(&fixture->state());
        } else {
            state = std::make_unique<qm::AppState>();
            qm::WalletShell::install(state.get());
        }
        engine.addImportPath(QStringLiteral("qrc:/"));
        engine.load(QUrl(QStringLiteral("qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")));
    }
    QQuickWindow* window = firstWindow(engine);
    if (!window) {
        return 1;
    }
    reportFirstFrame(window);
    window->show();
    if (fixture) {
        // The appear action locks the stored wallet, as at every start: open it again.
        QTimer::singleShot(0, [&fixture] { fixture->state().unlock("bench pw"); });
    }
    const int status = app.exec();
    qm::WalletShell::install(nullptr);
    return status;
}

qint64 residentKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

struct Measure {
    double firstFrameMs = -1;
    qint64 idleKiB = -1;
};

// Starts the child, waits for its first frame; after `idleSeconds` more, reads its memory.
Measure measure(const QString& program, const QString& mode, const QProcessEnvironment& env,
                int idleSeconds) {
    QTemporaryDir home;
    QProcessEnvironment childEnv = env;
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "TMPDIR"}) {
        const QString dir = home.filePath(QString::fromLatin1(name));
        QDir().mkpath(dir);
        childEnv.insert(QString::fromLatin1(name), dir);
    }
    childEnv.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                    QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-bus")));
    QProcess child;
    child.setProcessEnvironment(childEnv);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Measure result;
    QElapsedTimer clock;
    clock.start();
    child.start(program, {QStringLiteral("--child"), mode});
    while (child.state() != QProcess::NotRunning && clock.elapsed() < 60000) {
        if (child.waitForReadyRead(100) && child.readAll().contains("frame")) {
            result.firstFrameMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            break;
        }
    }
    if (idleSeconds > 0 && child.state() == QProcess::Running) {
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < idleSeconds * 1000) {
            child.waitForFinished(200);
        }
        result.idleKiB = residentKiB(child.processId());
    }
    child.terminate();
    if (!child.waitForFinished(5000)) {
        child.kill();
        child.waitForFinished();
    }
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--child") {
        QApplication app(argc, argv);
        return runChild(app, QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess xvfb;
    if (!env.contains(QStringLiteral("DISPLAY"))) {
        xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral(":93"), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1280x800x24"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb.waitForStarted()) {
            std::fputs("no DISPLAY and no Xvfb\n", stderr);
            return 1;
        }
        QThread::msleep(1000);
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":93"));
    }
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const QString self = QCoreApplication::applicationFilePath();

    std::vector<double> minimal, shell;
    for (int run = 0; run < 5; ++run) {
        minimal.push_back(measure(self, QStringLiteral("minimal"), env, 0).firstFrameMs);
        shell.push_back(measure(self, QStringLiteral("shell"), env, 0).firstFrameMs);
    }
    const Measure minimalIdle = measure(self, QStringLiteral("minimal"), env, 10);
    const Measure unlockedIdle = measure(self, QStringLiteral("unlocked"), env, 10);

    std::printf("first painted frame (median of 5): minimal window %.0f ms, Quillmark %.0f ms "
                "(%.2fx)\n",
                median(minimal), median(shell), median(shell) / median(minimal));
    std::printf("resident memory after 10 s idle: minimal window %.1f MiB, Quillmark unlocked "
                "%.1f MiB (+%.1f MiB)\n",
                minimalIdle.idleKiB / 1024.0, unlockedIdle.idleKiB / 1024.0,
                (unlockedIdle.idleKiB - minimalIdle.idleKiB) / 1024.0);
    if (xvfb.state() == QProcess::Running) {
        xvfb.terminate();
        xvfb.waitForFinished();
    }
    return 0;
}
