#pragma once
// The program's window over a wallet unlocked on loopback fixtures, for the screenshot runs
// and the window benches (which link the views; this library does not, hence a header).

#include "AppStateFixture.h"
#include "RunTask.h"
#include "ui/shell/WalletShell.h"

#include <QEventLoop>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>
#include <memory>

namespace qm::test {

// Runs the event loop for `milliseconds`.
inline void spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Creates a wallet in `fixture`, shows the window over it (whose appear action locks the
// stored wallet, as at every start) and unlocks it again, with the refresh stopped.
// window() is null when the window could not be built.
class UnlockedWindow {
public:
    explicit UnlockedWindow(AppStateFixture& fixture) : m_state(fixture.state()) {
        static constexpr const char* password = "correct horse";
        m_state.loadStoredState();
        runTask(m_state.createWallet(AppStateFixture::abandonPhrase(), password));
        WalletShell::install(&m_state);
        m_engine = std::make_unique<QQmlApplicationEngine>();
        m_engine->addImportPath(QStringLiteral("qrc:/"));
        m_engine->load(QUrl(QStringLiteral("qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")));
        const auto roots = m_engine->rootObjects();
        m_window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
        if (!m_window) {
            return;
        }
        m_window->show();
        spin(200);
        runTask(m_state.unlock(password));
        m_state.stopBackgroundTasks();
    }
    ~UnlockedWindow() {
        // The views go before the state they read.
        m_engine.reset();
        WalletShell::install(nullptr);
    }
    UnlockedWindow(const UnlockedWindow&) = delete;
    UnlockedWindow& operator=(const UnlockedWindow&) = delete;

    QQuickWindow* window() const { return m_window; }

private:
    AppState& m_state;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow* m_window = nullptr;
};

} // namespace qm::test
