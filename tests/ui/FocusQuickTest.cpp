// Qt Quick Test of where the keyboard focus is drawn, over a real application state on loopback
// fixtures with a created wallet: the tests in focus/ Tab through its window.

#include "AppStateFixture.h"
#include "QuickTestSetup.h"
#include "RunTask.h"
#include "state/AppState.h"

#include <QtQuickTest>
#include <memory>

namespace {

class Fixture : public qm::test::QuickFixture {
    Q_OBJECT

public:
    explicit Fixture(qm::test::AppStateFixture& env) : m_env(env) {}

    Q_INVOKABLE void createWallet() {
        qm::AppState& state = m_env.state();
        state.loadStoredState();
        qm::test::runTask(state.createWallet(qm::test::AppStateFixture::abandonPhrase(), password));
        state.stopBackgroundTasks();
    }
    // The password the lock screen opens the wallet with.
    Q_INVOKABLE QString walletPassword() const { return QString::fromLatin1(password); }
    Q_INVOKABLE void lock() { m_env.state().lock(); }
    // The refresh an unlock through the lock screen started, ended.
    Q_INVOKABLE void stopRefresh() { m_env.state().stopBackgroundTasks(); }
    // A record of sent transactions that the next unlock cannot read.
    Q_INVOKABLE void breakUnsettledRecord() { m_env.breakUnsettledRecord(); }

private:
    static constexpr const char* password = "correct horse";
    qm::test::AppStateFixture& m_env;
};

class Setup : public qm::test::QuickTestSetup {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        prepareApplication(QLocale(QStringLiteral("en_US")));
        m_env = std::make_unique<qm::test::AppStateFixture>();
        m_fixture = std::make_unique<Fixture>(*m_env);
        show(m_fixture.get(), m_env->state());
    }

private:
    std::unique_ptr<qm::test::AppStateFixture> m_env;
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(focus, Setup)

#include "FocusQuickTest.moc"
