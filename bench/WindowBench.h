#pragma once
// What the window benches share: each window runs in a child process of the bench (the bench's
// own program with "--child MODE"), under one X display, on a fresh data folder and without a
// session bus (unless QM_BENCH_SESSION_BUS is set: the bus of the bench's own environment);
// the child prints "frame" once its window has painted.
//   minimal   one ApplicationWindow with a button and a chart: the reference, drawn as the
//             wallet draws (the software scene graph, native glyphs)
//   welcome   the program's own start path on an empty data folder (onboarding)
//   lock      the same on a data folder that holds a wallet (the lock screen)
//   unlocked  the window over a wallet unlocked on loopback fixtures, its refresh switched off
//   offline   the same, refreshing as the program does, against servers that accept and never
//             answer, with the program's own time-outs (a refresh, a pause, a refresh ...)
//   offline-bitcoin, offline-ethereum, offline-solana  the same on that chain's first account
//   refreshing  the same with time-outs longer than any run: one refresh all along
// "prepare" makes the wallet of "lock" in the data folder and ends.

#include "AppStateFixture.h"
#include "RunTask.h"
#include "WakeCounter.h"
#include "app/QuillmarkApp.h"
#include "app/SingleInstance.h"
#include "services/evm/BlockExplorerClient.h"
#include "services/prices/CoinGeckoClient.h"
#include "state/refresh/RefreshOrchestrator.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/WindowRendering.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

namespace qm::bench {

inline const char* minimalWindow = R"(
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

inline constexpr const char* benchPassword = "bench pw";

// A wallet whose servers are all on loopback and never answer: Electrum accepts the connection
// and stays silent (no TLS handshake), every HTTP request is read and left unanswered. The
// refresh runs as in the program: with its own time-outs, or with `timeout` for every one.
class SilentServersWallet : public test::LoopbackAppState {
public:
    explicit SilentServersWallet(std::optional<std::chrono::milliseconds> timeout)
        : LoopbackAppState(test::ElectrumFixture::Mode::silent) {
        const auto stall = [](const test::HttpFixtureRequest&) {
            return test::HttpFixtureResponse::stalling();
        };
        m_rpc.setHandler(stall);
        m_web.setHandler(stall);
        NetworkManager::Options options;
        HttpTimeouts http;
        if (timeout) {
            options.electrumLimits.connectTimeout = *timeout;
            options.electrumLimits.requestTimeout = *timeout;
            options.rpcTimeouts = HttpTimeouts{*timeout, *timeout};
            http = HttpTimeouts{*timeout, *timeout};
        }
        AppStateServices services =
            makeServices(std::make_shared<test::MemoryKeychain>(), options, http);
        if (!timeout) {
            // The program's explorer and price time-outs (15 s and 10 s without a byte), on the
            // loopback server.
            BlockExplorerClient::BaseURLs explorers;
            for (std::string& base : explorers) {
                base = m_web.url("/api/v2").toString().toStdString();
            }
            services.explorerClient = std::make_unique<BlockExplorerClient>(
                explorers, HttpTimeouts{std::chrono::seconds(15), std::chrono::hours(24 * 7)});
            services.coinGecko = std::make_unique<CoinGeckoClient>(
                m_web.url("/api/v3").toString().toStdString(),
                HttpTimeouts{std::chrono::seconds(10), std::chrono::hours(24 * 7)});
        }
        m_state = std::make_unique<AppState>(std::move(services));
    }
};

// Prints "frame" once the window has painted its first frame.
inline void reportFirstFrame(QQuickWindow* window) {
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

// The child's side: runs the window of `mode` until the bench ends it.
inline int runChild(int argc, char** argv, const QString& mode) {
    if (mode == QStringLiteral("prepare")) {
        QApplication app(argc, argv);
        AppState state;
        state.loadStoredState();
        qm::test::runTask(
            state.createWallet(test::AppStateFixture::abandonPhrase(), benchPassword));
        state.stopBackgroundTasks();
        return 0;
    }
    if (mode == QStringLiteral("welcome") || mode == QStringLiteral("lock")) {
        // As main() does, without handing over to a running instance.
        QuillmarkApp::prepareEnvironment();
        QApplication application(argc, argv);
        QuillmarkApp::configure(application);
        SingleInstance instance(QDir::temp().filePath(QStringLiteral("bench-instance")));
        QuillmarkApp app(application, instance);
        if (!app.start()) {
            return 1;
        }
        reportFirstFrame(app.window());
        const WakeCounter counter(app.window());
        // In front, as a desktop puts a new window: what runs only then (the lock screen's
        // pulse, the text cursor) is measured too.
        app.window()->requestActivate();
        return application.exec();
    }
    QApplication application(argc, argv);
    QQmlApplicationEngine engine;
    // One of the two wallets; none for the minimal window.
    std::unique_ptr<test::AppStateFixture> quietWallet;
    std::unique_ptr<SilentServersWallet> silentWallet;
    AppState* state = nullptr;
    // "offline-<chain>": the offline wallet on that chain's first account.
    const bool offline = mode.startsWith(QStringLiteral("offline"));
    const std::optional<Chain> account =
        chainFromRawValue(mode.section(QLatin1Char('-'), 1).toStdString());
    if (mode == QStringLiteral("minimal")) {
        // The wallet's renderer: the comparison is of the windows, not of two scene graphs.
        configureWindowRendering();
        engine.loadData(minimalWindow);
    } else {
        QuillmarkApp::configure(application);
        if (offline || mode == QStringLiteral("refreshing")) {
            silentWallet = std::make_unique<SilentServersWallet>(
                offline ? std::nullopt
                        : std::optional<std::chrono::milliseconds>(std::chrono::hours(1)));
            state = &silentWallet->state();
        } else {
            quietWallet = std::make_unique<test::AppStateFixture>();
            state = &quietWallet->state();
        }
        state->loadStoredState();
        qm::test::runTask(
            state->createWallet(test::AppStateFixture::abandonPhrase(), benchPassword));
        WalletShell::install(state);
        engine.addImportPath(QStringLiteral("qrc:/"));
        engine.load(QUrl(QStringLiteral("qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")));
    }
    const auto roots = engine.rootObjects();
    auto* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
    if (!window) {
        return 1;
    }
    reportFirstFrame(window);
    const WakeCounter counter(window);
    window->show();
    window->requestActivate();
    if (state) {
        // The appear action locks the stored wallet, as at every start: open it again.
        QTimer::singleShot(0, [state, account] {
            qm::test::runTask(state->unlock(benchPassword));
            if (account) {
                state->setSelectedChain(*account);
                state->setSelectedAccountIndex(0);
            }
        });
    }
    const int status = application.exec();
    WalletShell::install(nullptr);
    return status;
}

// The display the children use: the caller's, else a private Xvfb (on a display number it
// picks itself) that lives as long as this.
class Display {
public:
    explicit Display(QProcessEnvironment& env) {
        if (!env.contains(QStringLiteral("DISPLAY"))) {
            // Benches and tests that start their own X servers at the same moment can race
            // for a display number: one that did not get one tries again.
            QByteArray number;
            for (int attempt = 0; attempt < 5 && number.isEmpty(); ++attempt) {
                if (attempt > 0) {
                    QThread::msleep(200);
                }
                number = startXvfb();
            }
            if (number.isEmpty()) {
                std::fputs("no DISPLAY and no Xvfb\n", stderr);
                std::exit(1);
            }
            env.insert(QStringLiteral("DISPLAY"),
                       QStringLiteral(":") + QString::fromLatin1(number));
        }
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    ~Display() { stop(); }

private:
    // A private Xvfb's display number; empty (and no Xvfb left) when it reported none.
    QByteArray startXvfb() {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) {
            std::fputs("no pipe for Xvfb\n", stderr);
            std::exit(1);
        }
        // Xvfb inherits the write end and writes its display number there once it is ready.
        m_xvfb.setProgram(QStringLiteral("Xvfb"));
        m_xvfb.setArguments({QStringLiteral("-displayfd"), QString::number(pipeFds[1]),
                             QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp")});
        m_xvfb.setStandardOutputFile(QProcess::nullDevice());
        m_xvfb.setStandardErrorFile(QProcess::nullDevice());
        m_xvfb.start();
        ::close(pipeFds[1]);
        QByteArray number;
        char c = 0;
        if (m_xvfb.waitForStarted()) {
            while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') {
                number.append(c);
            }
        }
        ::close(pipeFds[0]);
        if (number.isEmpty()) {
            stop();
        }
        return number;
    }
    void stop() {
        if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.terminate();
            if (!m_xvfb.waitForFinished(5000)) {
                m_xvfb.kill();
                m_xvfb.waitForFinished();
            }
        }
    }

private:
    QProcess m_xvfb;
};

// A child of the bench on a data folder of its own (kept until the child is gone). Its cache
// folder (compiled GL shaders, Qt's and Mesa's) is fresh too, unless `cache` names one that
// earlier children filled: a later start rather than the first.
class Child {
public:
    Child(const QString& mode, const QProcessEnvironment& env, const QString& cache = {}) {
        QProcessEnvironment childEnv = env;
        for (const char* name :
             {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "TMPDIR", "XDG_RUNTIME_DIR"}) {
            const QString dir = m_home.filePath(QString::fromLatin1(name));
            QDir().mkpath(dir);
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            childEnv.insert(QString::fromLatin1(name), dir);
        }
        if (!cache.isEmpty()) {
            childEnv.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
        }
        // No session bus, unless the bench runs in one on purpose (a keyring to probe).
        if (!env.contains(QStringLiteral("QM_BENCH_SESSION_BUS"))) {
            childEnv.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                            QStringLiteral("unix:path=") +
                                m_home.filePath(QStringLiteral("no-bus")));
        }
        const QString self = QCoreApplication::applicationFilePath();
        if (mode == QStringLiteral("lock")) {
            QProcess prepare;
            prepare.setProcessEnvironment(childEnv);
            prepare.setProcessChannelMode(QProcess::ForwardedChannels);
            prepare.start(self, {QStringLiteral("--child"), QStringLiteral("prepare")});
            prepare.waitForFinished(60000);
        }
        m_process.setProcessEnvironment(childEnv);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_clock.start();
        m_process.start(self, {QStringLiteral("--child"), mode});
    }
    ~Child() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // Milliseconds from the start to the first painted frame; -1 when there was none.
    double waitForFirstFrame() {
        while (m_process.state() != QProcess::NotRunning && m_clock.elapsed() < 60000) {
            if (m_process.waitForReadyRead(100) && m_process.readAll().contains("frame")) {
                return static_cast<double>(m_clock.nsecsElapsed()) / 1e6;
            }
        }
        return -1;
    }

    // Waits `ms` while the child runs on.
    void idle(int ms) {
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < ms && m_process.state() == QProcess::Running) {
            m_process.waitForFinished(200);
        }
    }

    // CPU seconds the child has used so far (all its threads); -1 when it is gone.
    double cpuSeconds() const {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(m_process.processId()));
        if (!stat.open(QIODevice::ReadOnly)) {
            return -1;
        }
        const QByteArray line = stat.readAll();
        // The fields after the command name, which may hold blanks: utime and stime are the
        // 14th and 15th of the whole line.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13) {
            return -1;
        }
        const double ticks = static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong());
        return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    // What woke the child so far (WakeCounter.h); none when it did not answer.
    std::optional<WakeCounts> wakeCounts() {
        m_process.write("count\n");
        QByteArray output;
        QElapsedTimer waiting;
        waiting.start();
        while (m_process.state() == QProcess::Running && waiting.elapsed() < 10000) {
            m_process.waitForReadyRead(200);
            output += m_process.readAll();
            // Other lines (the program's log) may come before the answer.
            for (const QByteArray& line : output.split('\n')) {
                if (line.startsWith("counts ") && output.contains(line + '\n')) {
                    return WakeCounts::parse(line);
                }
            }
        }
        return std::nullopt;
    }

    // Resident memory in KiB; -1 when the child is gone.
    qint64 residentKiB() const {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
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

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QElapsedTimer m_clock;
};

} // namespace qm::bench
