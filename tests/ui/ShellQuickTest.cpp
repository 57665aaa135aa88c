// Qt Quick Test of the shell's QML over a real application state on loopback fixtures; the
// tests in qml/ reach the state through `fixture`.

#include "AppStateFixture.h"
#include "QuickTestSetup.h"
#include "RunTask.h"
#include "state/AppState.h"

#include <QQuickWindow>
#include <QTest>
#include <QWindow>
#include <QtQuickTest>
#include <memory>

namespace {

class Fixture : public qm::test::QuickFixture {
    Q_OBJECT

public:
    explicit Fixture(qm::test::AppStateFixture& env) : m_env(env) {}

    Q_INVOKABLE void loadStoredState() { m_env.state().loadStoredState(); }
    Q_INVOKABLE void createWallet() {
        qm::test::runTask(
            m_env.state().createWallet(qm::test::AppStateFixture::abandonPhrase(), password));
        m_env.state().stopBackgroundTasks();
    }
    // Every account's server answers: a zero balance.
    Q_INVOKABLE void answerZeroBalances() {
        qm::AppState& state = m_env.state();
        const auto answered = [](auto& account) { account.balanceLoad.end(false); };
        for (std::size_t i = 0; i < state.bitcoinAccounts().size(); ++i) {
            state.updateBitcoinAccount(i, state.bitcoinAccounts()[i].id(), answered);
        }
        for (const qm::Chain chain :
             {qm::Chain::ethereum, qm::Chain::arbitrum, qm::Chain::polygon}) {
            for (std::size_t i = 0; i < state.evmAccounts(chain).size(); ++i) {
                state.updateEVMAccount(chain, i, state.evmAccounts(chain)[i].id(), answered);
            }
        }
        for (std::size_t i = 0; i < state.solanaAccounts().size(); ++i) {
            state.updateSolanaAccount(i, state.solanaAccounts()[i].id(), answered);
        }
    }
    Q_INVOKABLE void lock() { m_env.state().lock(); }
    Q_INVOKABLE void unlock() {
        qm::test::runTask(m_env.state().unlock(password));
        m_env.state().stopBackgroundTasks();
    }
    // Bytes that are not UTF-8 where the wallet keeps the transactions it sent; the file the
    // next unlock sets them aside in.
    Q_INVOKABLE QString breakUnsettledRecord() {
        return QString::fromStdString(m_env.breakUnsettledRecord().string());
    }
    Q_INVOKABLE void setFlags(bool onboarding, bool locked) {
        m_env.state().setIsOnboarding(onboarding);
        m_env.state().setIsLocked(locked);
    }
    Q_INVOKABLE void select(int chain, int index) {
        m_env.state().setSelectedChain(qm::allChains()[static_cast<std::size_t>(chain)]);
        m_env.state().setSelectedAccountIndex(index);
    }
    Q_INVOKABLE int networkRequests() const { return m_env.networkRequests(); }
    Q_INVOKABLE void setLastRefreshNow() { m_env.state().setLastRefresh(qm::Date::now()); }
    Q_INVOKABLE void setRefreshing(bool refreshing) { m_env.state().setIsRefreshing(refreshing); }
    // A server's name as markup whose image points at the loopback web server: shown as
    // markup, the window would fetch it. Returns the status text the window shows.
    Q_INVOKABLE QString setHostileEthereumStatus() {
        const QString hostile = QStringLiteral("<img src=\"%1\"><b>bad gateway</b>")
                                    .arg(m_env.web().url(QStringLiteral("/pixel.png")).toString());
        m_env.state().networkManager().setConnectionPhase(
            qm::Chain::ethereum, qm::ConnectionPhase::failed, hostile.toStdString());
        return QString::fromStdString(qm::connectionStatusText(
            qm::Chain::ethereum, qm::ConnectionPhase::failed, hostile.toStdString()));
    }
    Q_INVOKABLE void connectEthereum(const QString& host) {
        m_env.state().networkManager().setConnectionPhase(
            qm::Chain::ethereum, qm::ConnectionPhase::connected, host.toStdString());
    }
    // Key presses of the test go to the test's own window; this one to any.
    Q_INVOKABLE void keyClick(QWindow* window, int key) {
        QTest::keyClick(window, static_cast<Qt::Key>(key));
    }
    Q_INVOKABLE int webRequests() const { return static_cast<int>(m_env.web().requests().size()); }
    // Saves what `window` shows (its menu bar and popups too) among the screenshots as `name`.
    Q_INVOKABLE void grabWindow(QQuickWindow* window, const QString& name) const {
        window->grabWindow().save(screenshotPath(name + QStringLiteral(".png")));
    }

private:
    static constexpr const char* password = "correct horse";
    qm::test::AppStateFixture& m_env;
};

class Setup : public qm::test::QuickTestSetup {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        // The locale of many minimal systems, which names no territory.
        prepareApplication(QLocale::c());
        m_env = std::make_unique<qm::test::AppStateFixture>();
        m_fixture = std::make_unique<Fixture>(*m_env);
        show(m_fixture.get(), m_env->state());
    }

private:
    std::unique_ptr<qm::test::AppStateFixture> m_env;
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(shell, Setup)

#include "ShellQuickTest.moc"
