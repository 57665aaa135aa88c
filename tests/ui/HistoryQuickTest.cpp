// Qt Quick Test of the account screen, the token screen, the history list with its detail
// sheet and the add-token sheet, over an open wallet's state whose accounts the tests in
// history/ put in place through `fixture`. The add-token sheet looks tokens up on anvil when it
// is installed.

#include "AnvilNode.h"
#include "ExactBalances.h"
#include "QuickTestSetup.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "core/storage/TokenStore.h"
#include "platform/AtomicFile.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/refresh/EVMRefresh.h"
#include "state/refresh/ExplorerRefresh.h"
#include "state/refresh/PriceRefresh.h"
#include "ui/theme/BusySteps.h"
#include "ui/theme/ExternalLink.h"

#include <QtQuickTest>
#include <memory>

namespace {

using namespace qm;

// 64 hexadecimal digits made of `digit`, with "0x" on the EVM chains.
std::string hash(Chain chain, char digit) {
    const std::string digits(64, digit);
    return chain == Chain::bitcoin ? digits : "0x" + digits;
}

Transaction entry(Chain chain, std::string id, TransactionDirection direction,
                  TransactionStatus status, std::string amount, double unixTime) {
    Transaction t;
    t.id = id;
    t.txHash = std::move(id);
    t.chain = chain;
    t.direction = direction;
    t.status = status;
    t.amount = std::move(amount);
    t.from = "0x1111111111111111111111111111111111111111";
    t.to = "0x2222222222222222222222222222222222222222";
    if (unixTime > 0) {
        t.timestamp = Date::fromUnixTime(unixTime);
    }
    return t;
}

Transaction tokenEntry(Chain chain, std::string id, std::optional<std::string> symbol,
                       std::string contract, std::string amount, double unixTime) {
    Transaction t = entry(chain, std::move(id), TransactionDirection::received,
                          TransactionStatus::confirmed, std::move(amount), unixTime);
    t.tokenSymbol = std::move(symbol);
    t.tokenName = t.tokenSymbol ? std::optional<std::string>("USD Coin") : std::nullopt;
    t.contractAddress = std::move(contract);
    return t;
}

TokenBalance balance(std::string address, std::string symbol, std::string name, const char* amount,
                     std::optional<double> price) {
    TokenBalance b;
    b.token = {std::move(address), std::move(symbol), std::move(name), 6, Chain::ethereum};
    test::setTokenBalance(b, amount);
    b.priceUSD = price;
    return b;
}

const std::string usdc = "0xaf88d065e77c8CC2239327C5EDb3A432268e5831";

class Fixture : public test::QuickFixture {
    Q_OBJECT

public:
    Fixture(test::RefreshFixture& env, test::AnvilNode* anvil) : m_env(env), m_anvil(anvil) {
        setUrlOpener([this](const QUrl& url) {
            m_opened.append(url.toString());
            return true;
        });
    }
    ~Fixture() override { setUrlOpener({}); }

    AppState& state() { return m_env.state(); }

    // One account per chain with a history of every kind, as the refresh left them.
    Q_INVOKABLE void fill() {
        const double now = Date::now().unixTime();
        BTCAccountState btc;
        btc.account = {"btc-0", Chain::bitcoin, 0, test::RefreshFixture::testAddress(0),
                       "m/84'/0'/0'/0/0"};
        btc.balanceSats = 150'000;
        btc.balanceLoad.end(false);
        btc.addresses = {test::RefreshFixture::testAddressInfo(0, 0)};
        btc.transactions = {
            entry(Chain::bitcoin, hash(Chain::bitcoin, 'a'), TransactionDirection::received,
                  TransactionStatus::pending, "0.00100000 BTC", now - 30),
            entry(Chain::bitcoin, hash(Chain::bitcoin, 'b'), TransactionDirection::sent,
                  TransactionStatus::confirmed, "0.00050000 BTC", now - 9000),
            entry(Chain::bitcoin, hash(Chain::bitcoin, 'c'), TransactionDirection::sent,
                  TransactionStatus::failed, "0.20000000 BTC", 0)};
        btc.transactions[0].to = "bc1qshort14chr";   // 13 characters, shown whole when sent
        btc.transactions[0].from = "bc1q0123456789"; // 14: whole
        btc.transactions[1].to = "bc1q01234567890";  // 15: shortened
        btc.transactions[1].blockHeight = 840'000;
        btc.transactions[1].confirmations = 3;
        btc.transactions[1].fee = "0.00000420 BTC";
        btc.endHistoryLoad(false);
        state().setBitcoinAccounts({btc});

        EVMAccountState eth;
        eth.account = {"eth-0", Chain::ethereum, 0, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf",
                       "m/44'/60'/0'/0/0"};
        test::setNativeBalance(eth, "1.25");
        eth.tokens = {
            balance(usdc, "USDC", "USD Coin", "999.5", 1.0),
            balance("0x00000000000000000000000000000000000d0d0e", "DUST", "Dust", "0.004", 1.0),
            balance("0x00000000000000000000000000000000000e0e0e", "NOPE", "Unpriced", "3",
                    std::nullopt)};
        eth.transactions = {
            entry(Chain::ethereum, hash(Chain::ethereum, '1'), TransactionDirection::received,
                  TransactionStatus::confirmed, "0.5000 ETH", now - 120),
            tokenEntry(Chain::ethereum, hash(Chain::ethereum, '2') + "-usdc", "USDC",
                       "0xAF88D065E77C8CC2239327C5EDB3A432268E5831", "25.0000 USDC", now - 300),
            // An explorer that left the symbol out: still a token transfer.
            tokenEntry(Chain::ethereum, hash(Chain::ethereum, '3') + "-x", std::nullopt,
                       "0x00000000000000000000000000000000000f0f0f", "7.0000 ?", now - 400),
            tokenEntry(Chain::ethereum, hash(Chain::ethereum, '4') + "-usdc", "USDC", usdc,
                       "1.0000 USDC", now - 500),
            entry(Chain::ethereum, hash(Chain::ethereum, '5'), TransactionDirection::sent,
                  TransactionStatus::pending, "0.1000 ETH", now - 86400 * 3.5)};
        eth.transactions[0].blockHeight = 19'000'000;
        eth.transactions[0].confirmations = 1;
        eth.transactions[0].fee = "0.000420 ETH";
        eth.endTokensLoad(false);
        eth.endHistoryLoad(false);
        state().setEVMAccounts(Chain::ethereum, {eth});

        EVMAccountState arb = eth;
        arb.account = {"arb-0", Chain::arbitrum, 0, eth.account.address, "m/44'/60'/0'/0/0"};
        test::setNativeBalance(arb, "0.5");
        for (TokenBalance& b : arb.tokens) {
            b.token.chain = Chain::arbitrum;
        }
        for (Transaction& t : arb.transactions) {
            t.chain = Chain::arbitrum;
        }
        state().setEVMAccounts(Chain::arbitrum, {arb});

        EVMAccountState pol;
        pol.account = {"poly-0", Chain::polygon, 0, eth.account.address, "m/44'/60'/0'/0/0"};
        pol.balanceLoad.end(false); // a known zero
        pol.endTokensLoad(false);
        pol.endHistoryLoad(false);
        state().setEVMAccounts(Chain::polygon, {pol});

        SolanaAccountState sol;
        sol.account = {"sol-0", Chain::solana, 0, "4Nd1mBQtrMJVYVfKf2PJy9NZUZdTAsp7D4xWLs4gDB4T",
                       "m/44'/501'/0'/0'"};
        sol.balanceLamports = 2'500'000'000;
        sol.balanceLoad.end(false);
        Transaction solana =
            entry(Chain::solana, solanaSignature().toStdString(), TransactionDirection::received,
                  TransactionStatus::confirmed, "1.5000 SOL", now - 60);
        Transaction hostile =
            entry(Chain::solana, "not-a-signature/../../x?y=<b>", TransactionDirection::sent,
                  TransactionStatus::confirmed, "<b>9</b> SOL", now - 90);
        sol.transactions = {solana, hostile};
        sol.endHistoryLoad(false);
        state().setSolanaAccounts({sol});
        state().setEthPriceUSD(2000);
    }
    Q_INVOKABLE void clear() {
        state().attemptLedger().clear();
        for (const Chain chain : allChains()) {
            state().setChartLoadFailed(chain, false);
        }
        state().setBitcoinAccounts({});
        for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
            state().setEVMAccounts(chain, {});
        }
        state().setSolanaAccounts({});
    }
    // The sidebar's selection: chain 0 to 4 and the index in its list.
    Q_INVOKABLE void select(int chain, int index) {
        state().setSelectedChain(allChains()[static_cast<std::size_t>(chain)]);
        state().setSelectedAccountIndex(index);
    }
    // A refresh that rewrites Ethereum's history: every entry a new copy, confirmations up,
    // and a new entry on top.
    Q_INVOKABLE void refreshEthereumHistory() {
        state().updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState& account) {
            for (Transaction& t : account.transactions) {
                t.confirmations += 5;
                t.status = TransactionStatus::confirmed;
            }
            account.transactions.insert(
                account.transactions.begin(),
                entry(Chain::ethereum, hash(Chain::ethereum, '9'), TransactionDirection::sent,
                      TransactionStatus::pending, "3.0000 ETH", Date::now().unixTime()));
        });
    }
    // The Ethereum account as an unlock leaves it: nothing loaded yet.
    Q_INVOKABLE void startLoads() {
        EVMAccountState eth = state().evmAccounts(Chain::ethereum).at(0);
        eth.tokens.clear();
        eth.transactions.clear();
        eth.tokensLoading = true;
        eth.historyLoading = true;
        state().setEVMAccounts(Chain::ethereum, {eth});
    }
    // The ends of its loads, one at a time: three holdings; a history that could not be loaded;
    // then its entries.
    Q_INVOKABLE void endTokenLoad() {
        state().updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState& account) {
            account.tokens = {
                balance(usdc, "USDC", "USD Coin", "999.5", 1.0),
                balance("0x00000000000000000000000000000000000d0d0e", "DUST", "Dust", "0.004", 1.0),
                balance("0x00000000000000000000000000000000000e0e0e", "NOPE", "Unpriced", "3",
                        std::nullopt)};
            account.endTokensLoad(false);
        });
    }
    Q_INVOKABLE void failHistoryLoad() {
        state().updateEVMAccount(Chain::ethereum, 0, "eth-0",
                                 [](EVMAccountState& account) { account.endHistoryLoad(true); });
    }
    Q_INVOKABLE void endHistoryLoad() {
        state().updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState& account) {
            const double now = Date::now().unixTime();
            for (const char digit : {'1', '5', '6', '7'}) {
                account.transactions.push_back(entry(
                    Chain::ethereum, hash(Chain::ethereum, digit), TransactionDirection::received,
                    TransactionStatus::confirmed, "0.5000 ETH", now - 60));
            }
            account.endHistoryLoad(false);
        });
    }
    // The refresh jobs of Ethereum and Polygon (balances, tokens, history) and of the charts
    // while every server drops each connection without a word, as offline.
    Q_INVOKABLE void refreshWithoutServers() {
        const auto dropped = [](const test::HttpFixtureRequest&) {
            test::HttpFixtureResponse response;
            response.behaviour = test::HttpFixtureResponse::Behaviour::close;
            return response;
        };
        m_env.web().setHandler(dropped);
        m_env.rpc().setHandler(dropped);
        for (const Chain chain : {Chain::ethereum, Chain::polygon}) {
            test::runTask(refreshEVMBalances({&state(), {}}, chain));
            test::runTask(refreshExplorerHistory({&state(), {}}, chain));
        }
        test::runTask(refreshPrices({&state(), {}}));
        m_env.web().setHandler({});
        m_env.rpc().setHandler({});
    }
    // Ethereum's and Polygon's histories refreshed by an explorer that refuses every page
    // (503) or, `afterFirstPage`, gives the first page (one receipt of 0.25 ether, and no token
    // transfer) and refuses the next.
    Q_INVOKABLE void refreshFromRefusingExplorer(bool afterFirstPage) {
        m_env.web().setHandler([afterFirstPage](const test::HttpFixtureRequest& request) {
            if (!afterFirstPage || request.target.contains("index=")) {
                return test::HttpFixtureResponse::withStatus(503);
            }
            nlohmann::json page = {{"items", nlohmann::json::array()},
                                   {"next_page_params", nullptr}};
            if (!request.target.contains("/token-transfers")) {
                page["items"].push_back(
                    {{"hash", hash(Chain::ethereum, '8')},
                     {"from", {{"hash", "0x1111111111111111111111111111111111111111"}}},
                     {"to", {{"hash", "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf"}}},
                     {"value", "250000000000000000"},
                     {"timestamp", "2024-05-01T12:00:00.000000Z"},
                     {"block_number", 100},
                     {"confirmations", 12}});
                page["next_page_params"] = {{"index", 1}};
            }
            return test::HttpFixtureResponse::json(QByteArray::fromStdString(page.dump()));
        });
        for (const Chain chain : {Chain::ethereum, Chain::polygon}) {
            test::runTask(refreshExplorerHistory({&state(), {}}, chain));
        }
        m_env.web().setHandler({});
    }
    // Ethereum's history refreshed by an explorer that never indexed the account, as Blockscout
    // answers then: 404 {"message":"Not found"} for its transactions, no token transfer.
    Q_INVOKABLE void refreshFromUnindexingExplorer() {
        m_env.web().setHandler([](const test::HttpFixtureRequest& request) {
            if (request.target.contains("/token-transfers")) {
                return test::HttpFixtureResponse::json(R"({"items":[],"next_page_params":null})");
            }
            return test::HttpFixtureResponse::json(R"({"message":"Not found"})", 404);
        });
        test::runTask(refreshExplorerHistory({&state(), {}}, Chain::ethereum));
        m_env.web().setHandler({});
    }
    // Busy marks stepping anywhere in the process (each holds their shared clock).
    Q_INVOKABLE int busyMarksTurning() const { return BusySteps::runningCount(); }
    // `amount` whole tokens as typed ("0.005").
    Q_INVOKABLE void setTokenBalance(const QString& amount, double price) {
        state().updateEVMAccount(Chain::arbitrum, 0, "arb-0", [&](EVMAccountState& account) {
            test::setTokenBalance(account.tokens[0], amount.toStdString());
            account.tokens[0].priceUSD = price;
        });
    }
    // Arbitrum's first token as a refresh leaves a balance it could not read and never read.
    Q_INVOKABLE void loseTokenBalance() {
        state().updateEVMAccount(Chain::arbitrum, 0, "arb-0", [](EVMAccountState& account) {
            TokenBalance& lost = account.tokens[0];
            test::setTokenBalance(lost, "0");
            lost.priceUSD.reset();
            lost.balanceKnown = false;
            lost.balanceLoadFailed = true;
        });
    }
    // A send of the first account on chain `chain` (0 to 4) that the chain has not settled,
    // as the wallet keeps it: `id`, paying `summary` to `to`, of the token at `contract` when
    // one is given.
    Q_INVOKABLE void keepUnsettled(int chain, const QString& id, const QString& summary,
                                   const QString& to, const QString& token = {},
                                   const QString& contract = {}) {
        UnsettledAttempt attempt;
        attempt.chain = allChains()[static_cast<std::size_t>(chain)];
        attempt.id = id.toStdString();
        attempt.wire = "00";
        attempt.origin = "send:" + rawValue(attempt.chain);
        attempt.kind = "send";
        attempt.summary = summary.toStdString();
        attempt.detail = "to " + to.toStdString();
        attempt.counterparty = to.toStdString();
        attempt.createdAt = Date::now();
        if (!token.isEmpty()) {
            attempt.tokenSymbol = token.toStdString();
            attempt.contractAddress = contract.toStdString();
        }
        if (attempt.chain == Chain::bitcoin) {
            // As the send keeps it: by the account's id, spending a coin at its first address.
            attempt.account = state().bitcoinAccounts().at(0).id();
            UTXO coin{std::string(64, '7'), 1, 50'000, 800'000,
                      test::RefreshFixture::testOutputScript(0)};
            attempt.coins = {BTCSpend{std::move(coin), 0}};
        } else if (attempt.chain == Chain::solana) {
            attempt.account = state().solanaAccounts().at(0).account.address;
            attempt.message = Bytes{1};
        } else {
            attempt.account = state().evmAccounts(attempt.chain).at(0).account.address;
            attempt.nonce = 7;
        }
        test::runTask(state().attemptLedger().keep(std::move(attempt)));
    }
    // The chain settled it: the ledger forgets it.
    Q_INVOKABLE void forgetUnsettled(const QString& id) {
        state().attemptLedger().forget(id.toStdString());
    }
    // A refresh of Ethereum's history that lists the send `id` as confirmed.
    Q_INVOKABLE void listSentOnEthereum(const QString& id, const QString& amount) {
        state().updateEVMAccount(Chain::ethereum, 0, "eth-0", [&](EVMAccountState& account) {
            account.transactions.insert(
                account.transactions.begin(),
                entry(Chain::ethereum, id.toStdString(), TransactionDirection::sent,
                      TransactionStatus::confirmed, amount.toStdString(), Date::now().unixTime()));
        });
    }
    Q_INVOKABLE QString solanaSignature() const {
        return QString::fromStdString(
            "5zZ3KM1a2uBrCw2hBKWpm863pBg6xzwmrgEZtUpbEr8bfXBv1o3JXoscVfSo3pXMopfHftvdxo8JuKAccZ3u"
            "hKHd");
    }
    Q_INVOKABLE QStringList openedUrls() const { return m_opened; }

    // --- The add-token sheet on anvil ---------------------------------------------------------
    Q_INVOKABLE bool hasAnvil() const { return m_anvil != nullptr; }
    // Puts a contract of tests/peers/contracts at `address`.
    Q_INVOKABLE void deploy(const QString& contract, const QString& address) {
        m_anvil->setCode(address.toStdString(),
                         test::TestContracts::shared().deployedBytecode(contract.toStdString()));
    }
    // What a new launch reads from the token file for `chain`: "SYMBOL@address" each.
    Q_INVOKABLE QStringList storedTokens(int chain) const {
        TokenStore reread(m_env.state().tokenStore().fileURL());
        reread.load();
        QStringList found;
        for (const Token& token : reread.tokens(allChains()[static_cast<std::size_t>(chain)])) {
            found.append(QString::fromStdString(token.symbol + "@" + token.contractAddress));
        }
        return found;
    }

private:
    test::RefreshFixture& m_env;
    test::AnvilNode* m_anvil;
    QStringList m_opened;
};

class Setup : public test::QuickTestSetup {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        prepareApplication(QLocale(QStringLiteral("en_US")));
        test::RefreshFixture::Setup setup;
        if (test::AnvilNode::isAvailable()) {
            m_anvil = std::make_unique<test::AnvilNode>(42161);
            setup.arbitrum = m_anvil->url();
        }
        m_env = std::make_unique<test::RefreshFixture>(setup);
        // The screens are tested here, the refresh on its own: adding a token refreshes nothing.
        m_env->refresh().setSuspendedForTesting(true);
        m_fixture = std::make_unique<Fixture>(*m_env, m_anvil.get());
        show(m_fixture.get(), m_env->state());
    }

private:
    std::unique_ptr<test::AnvilNode> m_anvil;
    std::unique_ptr<test::RefreshFixture> m_env;
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(history, Setup)

#include "HistoryQuickTest.moc"
