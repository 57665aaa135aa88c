// Qt Quick Test of where the keyboard focus is drawn, over a real application state on loopback
// fixtures with a created wallet: the tests in focus/ Tab through its window.

#include "AppStateFixture.h"
#include "QuickTestSetup.h"
#include "RunTask.h"
#include "state/AppState.h"

#include <QtQuickTest>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// `rows` confirmed receipts on `chain`, newest first, as a refresh lists them.
std::vector<qm::Transaction> receipts(qm::Chain chain, int rows) {
    std::vector<qm::Transaction> out;
    const double now = qm::Date::now().unixTime();
    for (int i = 0; i < rows; ++i) {
        qm::Transaction t;
        t.txHash = std::string(chain == qm::Chain::bitcoin ? "" : "0x") + std::string(63, 'a') +
                   static_cast<char>('0' + i % 10);
        t.id = t.txHash + "-" + std::to_string(i);
        t.chain = chain;
        t.direction = qm::TransactionDirection::received;
        t.status = qm::TransactionStatus::confirmed;
        t.amount = "0.01 " + qm::nativeSymbol(chain);
        t.from = "0x1111111111111111111111111111111111111111";
        t.to = "0x2222222222222222222222222222222222222222";
        t.timestamp = qm::Date::fromUnixTime(now - 60.0 * (i + 1));
        out.push_back(std::move(t));
    }
    return out;
}

// The first account of `accounts` with `history`, its load ended.
template <typename AccountState>
std::vector<AccountState> withHistory(std::vector<AccountState> accounts,
                                      std::vector<qm::Transaction> history) {
    if (!accounts.empty()) {
        accounts.front().transactions = std::move(history);
        accounts.front().endHistoryLoad(false);
    }
    return accounts;
}

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
    // The history of the first account on `chain` ("ethereum", ...) as a refresh leaves it:
    // `rows` entries, or "No transactions yet".
    Q_INVOKABLE void setHistory(const QString& chain, int rows) {
        keepAccounts();
        qm::AppState& state = m_env.state();
        const qm::Chain which = qm::chainFromRawValue(chain.toStdString()).value();
        if (which == qm::Chain::bitcoin) {
            state.setBitcoinAccounts(withHistory(state.bitcoinAccounts(), receipts(which, rows)));
        } else if (which == qm::Chain::solana) {
            state.setSolanaAccounts(withHistory(state.solanaAccounts(), receipts(which, rows)));
        } else {
            state.setEVMAccounts(which,
                                 withHistory(state.evmAccounts(which), receipts(which, rows)));
        }
    }

    // The accounts as they were before the first setHistory.
    Q_INVOKABLE void restoreHistories() {
        if (!m_before) {
            return;
        }
        qm::AppState& state = m_env.state();
        state.setBitcoinAccounts(m_before->bitcoin);
        state.setSolanaAccounts(m_before->solana);
        for (std::size_t i = 0; i < evmChains.size(); ++i) {
            state.setEVMAccounts(evmChains[i], m_before->evm[i]);
        }
        m_before.reset();
    }

private:
    void keepAccounts() {
        if (m_before) {
            return;
        }
        qm::AppState& state = m_env.state();
        m_before = Accounts{state.bitcoinAccounts(), {}, state.solanaAccounts()};
        for (const qm::Chain evm : evmChains) {
            m_before->evm.push_back(state.evmAccounts(evm));
        }
    }

    static constexpr std::array evmChains{qm::Chain::ethereum, qm::Chain::arbitrum,
                                          qm::Chain::polygon};
    struct Accounts {
        std::vector<qm::BTCAccountState> bitcoin;
        std::vector<std::vector<qm::EVMAccountState>> evm;
        std::vector<qm::SolanaAccountState> solana;
    };

    static constexpr const char* password = "correct horse";
    qm::test::AppStateFixture& m_env;
    std::optional<Accounts> m_before;
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
