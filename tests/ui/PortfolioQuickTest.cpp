// Qt Quick Test of the portfolio screen and the price card over a real application state on
// loopback fixtures; the tests in portfolio/ fill the state through `fixture`.

#include "AppStateFixture.h"
#include "ExactBalances.h"
#include "PortfolioHoldings.h"
#include "QuickTestSetup.h"
#include "RunTask.h"
#include "state/AppState.h"
#include "state/refresh/RefreshOrchestrator.h"

#include <QUuid>
#include <QtQuickTest>
#include <memory>

namespace {

qm::Account account(qm::Chain chain, int index, std::string address) {
    qm::Account result;
    result.id = qm::accountID(chain, index);
    result.chain = chain;
    result.index = index;
    result.address = std::move(address);
    return result;
}

class Fixture : public qm::test::QuickFixture {
    Q_OBJECT

public:
    explicit Fixture(qm::test::AppStateFixture& env) : m_env(env) {}

    qm::AppState& state() { return m_env.state(); }

    // An account on every chain, each chain with its own price: Ethereum with a priced, an
    // unpriced, a hostile and a dust token; Arbitrum valued at the ether price (its chain
    // price is ARB's); Polygon without a price until setPolygonPrice; Solana with an unpriced,
    // a priced empty and a priced token.
    Q_INVOKABLE void fill() {
        using qm::test::evmToken;
        using qm::test::splToken;
        qm::BTCAccountState btc;
        btc.account = account(qm::Chain::bitcoin, 0, "bc1qexample");
        btc.balanceSats = 150'000;
        btc.balanceLoad.end(false);
        state().setBitcoinAccounts({btc});

        qm::EVMAccountState eth;
        eth.account = account(qm::Chain::ethereum, 0, "0xabc");
        qm::test::setNativeBalance(eth, "0.5");
        eth.tokens = {evmToken("0x01", "USDC", "USD Coin", 2'500'000, 1.0),
                      evmToken("0x02", "NOPE", "Unpriced", 3'000'000, std::nullopt),
                      evmToken("0x03", "<b>EVIL</b>", hostileName().toStdString(), 1'000'000, 2.0),
                      evmToken("0x04", "DUST", "Dust", 1'000, 1.0)};
        state().setEVMAccounts(qm::Chain::ethereum, {eth});
        qm::EVMAccountState arb;
        arb.account = account(qm::Chain::arbitrum, 0, "0xabc");
        qm::test::setNativeBalance(arb, "0.25");
        state().setEVMAccounts(qm::Chain::arbitrum, {arb});
        qm::EVMAccountState pol;
        pol.account = account(qm::Chain::polygon, 0, "0xdef");
        qm::test::setNativeBalance(pol, "10");
        state().setEVMAccounts(qm::Chain::polygon, {pol});

        qm::SolanaAccountState sol;
        sol.account = account(qm::Chain::solana, 0, "So1");
        sol.balanceLamports = 2'000'000'000;
        sol.balanceLoad.end(false);
        sol.tokens = {splToken("Mint1", "BONK", "Bonk", 2, 1234, std::nullopt),
                      splToken("Mint2", "JUP", "Jupiter", 6, 0, 0.8),
                      splToken("Mint3", "RAY", "Raydium", 2, 1234, 0.5)};
        state().setSolanaAccounts({sol});

        state().setBtcPriceUSD(50'000);
        state().setEthPriceUSD(2'000);
        state().setSolPriceUSD(100);
        state().setChainPrices({{qm::Chain::bitcoin, {51'000, 1}},
                                {qm::Chain::ethereum, {2'100, 1}},
                                {qm::Chain::arbitrum, {1.2, 1}},
                                {qm::Chain::solana, {110, 1}}});
    }
    // An account on every chain that no server has answered for yet; every chain but Polygon
    // priced.
    Q_INVOKABLE void fillUnanswered() {
        using qm::Chain;
        qm::BTCAccountState btc;
        btc.account = account(Chain::bitcoin, 0, "bc1qexample");
        state().setBitcoinAccounts({btc});
        for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
            qm::EVMAccountState evm;
            evm.account = account(chain, 0, "0xabc");
            state().setEVMAccounts(chain, {evm});
        }
        qm::SolanaAccountState sol;
        sol.account = account(Chain::solana, 0, "So1");
        state().setSolanaAccounts({sol});
        state().setBtcPriceUSD(50'000);
        state().setEthPriceUSD(2'000);
        state().setSolPriceUSD(100);
    }
    // The first account of `chain` ends a load of its balance (still zero): answered or not.
    Q_INVOKABLE void endBalanceLoad(int chain, bool failed) {
        const qm::Chain which = qm::allChains()[static_cast<std::size_t>(chain)];
        const std::string id = qm::accountID(which, 0);
        const auto end = [failed](auto& account) { account.balanceLoad.end(failed); };
        switch (which) {
        case qm::Chain::bitcoin:
            state().updateBitcoinAccount(0, id, end);
            break;
        case qm::Chain::solana:
            state().updateSolanaAccount(0, id, end);
            break;
        default:
            state().updateEVMAccount(which, 0, id, end);
            break;
        }
    }
    // Only a Bitcoin account, its balance of `sats` answered for.
    Q_INVOKABLE void holdBitcoinOnly(int sats) {
        qm::BTCAccountState btc;
        btc.account = account(qm::Chain::bitcoin, 0, "bc1qexample");
        btc.balanceSats = static_cast<std::uint64_t>(sats);
        btc.balanceLoad.end(false);
        state().setBitcoinAccounts({btc});
    }
    Q_INVOKABLE void setBtcPrice(double usd) { state().setBtcPriceUSD(usd); }
    // A load of the prices ended without any.
    Q_INVOKABLE void failPrices() {
        for (const qm::Chain chain : qm::allChains()) {
            state().setPriceLoadFailed(chain, true);
        }
    }
    Q_INVOKABLE void setPolygonPrice(double usd) {
        auto prices = state().chainPrices();
        prices[qm::Chain::polygon] = {usd, 0};
        state().setChainPrices(prices);
    }
    Q_INVOKABLE void createWallet() {
        state().loadStoredState();
        qm::test::runTask(
            state().createWallet(qm::test::AppStateFixture::abandonPhrase(), "correct horse"));
        state().stopBackgroundTasks();
        state().setSelectedChain(qm::Chain::bitcoin);
        state().setSelectedAccountIndex(0);
    }
    // Keychain writes wait until released: address changes queue up behind the first.
    Q_INVOKABLE void holdKeychain() { m_env.keychain().hang(); }
    Q_INVOKABLE void releaseKeychain() { m_env.keychain().release(); }
    // Every address answered for by the server; the one at `funded` holds 1500 satoshis.
    Q_INVOKABLE void markAddressesFetched(int funded) {
        state().updateBitcoinAccount(0, "btc-0", [funded](qm::BTCAccountState& account) {
            for (qm::BTCAddressInfo& info : account.addresses) {
                info.fetched = true;
                info.balanceSats = info.id == funded ? 1500 : 0;
            }
        });
    }
    Q_INVOKABLE void clear() {
        state().setBitcoinAccounts({});
        for (const qm::Chain chain :
             {qm::Chain::ethereum, qm::Chain::arbitrum, qm::Chain::polygon}) {
            state().setEVMAccounts(chain, {});
        }
        state().setSolanaAccounts({});
        state().setChainPrices({});
        state().setBtcPriceUSD(std::nullopt);
        state().setEthPriceUSD(std::nullopt);
        state().setSolPriceUSD(std::nullopt);
        for (const qm::Chain chain : qm::allChains()) {
            state().setPriceLoadFailed(chain, false);
        }
        state().setChartCache({});
    }
    // The selected account's id; "" when none (the portfolio).
    Q_INVOKABLE QString selectedAccountID() const {
        const auto account = m_env.state().selectedAccount();
        return account ? QString::fromStdString(account->id) : QString();
    }
    Q_INVOKABLE void selectNone() {
        state().setSelectedAccountIndex(qm::AppState::noAccountSelected);
    }
    // Lets refreshAll run against the loopback servers (the fixture holds it back otherwise).
    Q_INVOKABLE void allowRefresh(bool allowed) {
        state().refreshOrchestrator().setSuspendedForTesting(!allowed);
    }
    // Whether a full refresh of the state has ended since forgetRefresh.
    Q_INVOKABLE bool refreshed() const { return m_env.state().lastRefresh().has_value(); }
    Q_INVOKABLE void forgetRefresh() { state().setLastRefresh(std::nullopt); }
    // `coins` as typed ("1.5").
    Q_INVOKABLE bool setEthBalance(const QString& coins) {
        return state().updateEVMAccount(qm::Chain::ethereum, 0, "eth-0",
                                        [&coins](qm::EVMAccountState& s) {
                                            qm::test::setNativeBalance(s, coins.toStdString());
                                        });
    }
    Q_INVOKABLE void setPrice(int chain, double usd, double change) {
        auto prices = state().chainPrices();
        prices[qm::allChains()[static_cast<std::size_t>(chain)]] = {usd, change};
        state().setChainPrices(prices);
    }
    // `count` points 4 hours apart; `flat` keeps them all at 100.
    Q_INVOKABLE void setPoints(int chain, int count, bool flat) {
        std::vector<qm::PricePoint> points;
        for (int i = 0; i < count; ++i) {
            points.push_back({QUuid::createUuid(), qm::Date{14'400.0 * i},
                              flat ? 100.0 : 100.0 + (i % 5) * 7.0});
        }
        auto cache = state().chartCache();
        cache[qm::rawValue(qm::allChains()[static_cast<std::size_t>(chain)])] = points;
        state().setChartCache(cache);
    }
    // A token name that would load an image from a loopback server if drawn as rich text.
    Q_INVOKABLE QString hostileName() const {
        return QStringLiteral("<img src=\"%1\">").arg(m_env.web().url("/evil.png").toString());
    }
    Q_INVOKABLE int networkRequests() const { return m_env.networkRequests(); }

private:
    qm::test::AppStateFixture& m_env;
};

class Setup : public qm::test::QuickTestSetup {
    Q_OBJECT

public:
    // Before the application: the chart's dates are read in UTC.
    Setup() { qputenv("TZ", "UTC"); }

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

QUICK_TEST_MAIN_WITH_SETUP(portfolio, Setup)

#include "PortfolioQuickTest.moc"
