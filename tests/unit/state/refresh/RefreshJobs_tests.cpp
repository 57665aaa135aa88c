// The failure paths of the EVM, price, Solana and explorer jobs, and when a balance counts as
// known; what lands from real peers in a whole refresh is in FullRefresh_tests.
#include "RefreshFixture.h"
#include "RunTask.h"
#include "state/refresh/BitcoinRefresh.h"
#include "state/refresh/EVMRefresh.h"
#include "state/refresh/ExplorerRefresh.h"
#include "state/refresh/PriceRefresh.h"
#include "state/refresh/SolanaRefresh.h"

#include <gtest/gtest.h>

using namespace qm;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::RefreshFixture;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

const std::string evmOwner = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";
const std::string other = "0x00000000000000000000000000000000000000bb";
const std::string solOwner = "9WzDXwBbmkg8ZTbNMqUxvQRAyrZzDsGYdLVL9zYtAWWM";
const std::string usdc = "0xa0b86991c6218b36c1d19d4a2e9eb0ce3606eb48";
const std::string otherMint = "Gh9ZwEmdLJ8DscKNTkTqPbNwLNNBjuSzaG9Vp2KGtKJr";

HttpFixtureResponse rpcResult(const json& value) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(json{{"jsonrpc", "2.0"}, {"id", 1}, {"result", value}}.dump()));
}

json tokenAccount(const std::string& mint, const std::string& amount, int decimals) {
    const json tokenAmount = {{"amount", amount}, {"decimals", decimals}, {"uiAmount", 1.0}};
    const json info = {{"mint", mint}, {"owner", solOwner}, {"tokenAmount", tokenAmount}};
    return {{"pubkey", "AccountPubkey1111111111111111111111111111111"},
            {"account", {{"data", {{"parsed", {{"info", info}}}}}}}};
}

// Blockscout v2 items, as the public instances send them.
json transactionItem(const std::string& hash, const std::string& time) {
    return {{"hash", hash},
            {"from", {{"hash", evmOwner}}},
            {"to", {{"hash", other}}},
            {"value", "1"},
            {"timestamp", time},
            {"block_number", 100},
            {"status", "ok"},
            {"confirmations", 12}};
}

json tokenItem(const std::string& hash, const std::string& time) {
    return {{"transaction_hash", hash},
            {"from", {{"hash", other}}},
            {"to", {{"hash", evmOwner}}},
            {"token",
             {{"name", "USD Coin"}, {"symbol", "USDC"}, {"decimals", "6"}, {"address_hash", usdc}}},
            {"total", {{"value", "2500000"}, {"decimals", "6"}}},
            {"timestamp", time},
            {"block_number", 101}};
}

// A server gone mid-request: the connection closes without a word.
HttpFixtureResponse dropConnection(const HttpFixtureRequest&) {
    HttpFixtureResponse dropped;
    dropped.behaviour = HttpFixtureResponse::Behaviour::close;
    return dropped;
}

HttpFixtureResponse page(const json& items) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(json{{"items", items}, {"next_page_params", nullptr}}.dump()));
}

// The EVM and Solana nodes (one loopback server): 0.0005 ether and 2.5 SOL, nothing else held.
HttpFixtureResponse answerBalances(const HttpFixtureRequest& request) {
    const std::string method = json::parse(request.body.toStdString())["method"];
    const json context = {{"slot", 1}};
    if (method == "eth_getBalance") {
        return rpcResult("0x1c6bf52634000");
    }
    if (method == "eth_gasPrice") {
        return rpcResult("0x1");
    }
    if (method == "eth_call") {
        return rpcResult("0x" + std::string(64, '0'));
    }
    if (method == "getLatestBlockhash") {
        return rpcResult(
            {{"context", context},
             {"value",
              {{"blockhash", "11111111111111111111111111111111"}, {"lastValidBlockHeight", 9}}}});
    }
    if (method == "getBalance") {
        return rpcResult({{"context", context}, {"value", 2'500'000'000u}});
    }
    if (method == "getTokenAccountsByOwner") {
        return rpcResult({{"context", context}, {"value", json::array()}});
    }
    return rpcResult(json::array());
}

} // namespace

TEST(EVMRefresh, AFailedBalanceReconnectsAndRereadsOnlyNativeBalances) {
    RefreshFixture env;
    env.setEVMAccount(Chain::ethereum, evmOwner);
    const std::string tokenAddress = "0x00000000000000000000000000000000000c0de1";
    ASSERT_EQ(env.tokens().add(Token{tokenAddress, "TST", "Test", 6, Chain::ethereum}),
              TokenStore::AddResult::added);
    // Per row: the balance answer after a first failed request, and the balance then.
    const std::pair<const char*, double> rows[] = {{"0x1c6bf52634000", 0.0005},
                                                   {"0xzz", 0.0005}}; // unparsable: kept
    for (const auto& [retry, expected] : rows) {
        const std::string answer = retry;
        int balanceRequests = 0;
        env.rpc().setHandler([&](const HttpFixtureRequest& request) {
            if (request.body.contains("eth_getBalance")) {
                return ++balanceRequests == 1 ? HttpFixtureResponse::withStatus(503)
                                              : rpcResult(answer);
            }
            return rpcResult(request.body.contains("eth_gasPrice") ? json("0x1") : json::array());
        });
        runTask(refreshEVMBalances({&env.state(), {}}, Chain::ethereum));
        EXPECT_EQ(balanceRequests, 2) << retry;
        EXPECT_DOUBLE_EQ(env.state().evmAccounts(Chain::ethereum).at(0).balanceNative, expected)
            << retry;
        EXPECT_TRUE(env.state().evmAccounts(Chain::ethereum).at(0).tokens.empty()); // next run
        EXPECT_TRUE(env.state().evmAccounts(Chain::ethereum).at(0).tokensLoadFailed);
    }
    for (const auto& request : env.rpc().requests()) {
        EXPECT_FALSE(request.body.contains("eth_call") &&
                     request.body.contains(QByteArray::fromStdString(tokenAddress)));
    }
    // A run that reads the token's balance lists it, and the list is loaded again; a node
    // that cannot be reached leaves it as it is, marked as not loaded.
    env.rpc().setHandler([&](const HttpFixtureRequest& request) {
        if (request.body.contains("eth_call")) {
            return rpcResult("0x" + std::string(62, '0') + "2a");
        }
        const bool number =
            request.body.contains("eth_getBalance") || request.body.contains("eth_gasPrice");
        return rpcResult(number ? json("0x1") : json::array());
    });
    runTask(refreshEVMBalances({&env.state(), {}}, Chain::ethereum));
    const std::vector<TokenBalance> listed = env.state().evmAccounts(Chain::ethereum).at(0).tokens;
    ASSERT_FALSE(listed.empty()); // the test token, and those discovery added
    EXPECT_FALSE(env.state().evmAccounts(Chain::ethereum).at(0).tokensLoadFailed);
    env.rpc().setHandler(dropConnection);
    runTask(refreshEVMBalances({&env.state(), {}}, Chain::ethereum));
    EXPECT_EQ(env.state().evmAccounts(Chain::ethereum).at(0).tokens, listed);
    EXPECT_TRUE(env.state().evmAccounts(Chain::ethereum).at(0).tokensLoadFailed);

    // All 256 bits count: 2^255 wei is about 5.79e58 coins, never wrapped.
    EXPECT_DOUBLE_EQ(weiToCoins(UInt256(1ull << 63, 0, 0, 0)), std::ldexp(1.0, 255) / 1e18);
}

TEST(PriceRefresh, PricesAndChartsReplaceOnlyWhatCameBack) {
    RefreshFixture env;
    env.state().setBtcPriceUSD(1);
    env.state().setChainPrices({{Chain::bitcoin, {1, 0}}});
    env.state().setChartCache({{"polygon", {PricePoint{QUuid::createUuid(), Date{5}, 0.5}}}});
    QByteArray ticker =
        R"([{"symbol":"ETHUSDT","lastPrice":"3000.25","priceChangePercent":"1.5"}])";
    env.web().setHandler([&](const HttpFixtureRequest& request) {
        if (request.target.contains("/ticker/24hr")) {
            return HttpFixtureResponse::json(ticker);
        }
        if (request.target.contains("POLUSDT")) {
            return HttpFixtureResponse::withStatus(500);
        }
        return HttpFixtureResponse::json(R"([[1714000000000,"1","1","1","5"]])");
    });
    runTask(refreshPrices({&env.state(), {}}));
    // Bitcoin did not come back: its price stays, the map is replaced.
    EXPECT_EQ(env.state().btcPriceUSD(), 1);
    EXPECT_EQ(env.state().chainPrices(),
              (std::map<Chain, ChainPrice>{{Chain::ethereum, {3000.25, 1.5}}}));
    // The failed Polygon chart keeps its older points and is marked as not loaded (the card
    // stops waiting for it) until an answer brings points.
    ASSERT_EQ(env.state().chartCache().size(), 5u);
    EXPECT_EQ(env.state().chartCache().at("polygon").at(0).price, 0.5);
    EXPECT_TRUE(env.state().chartLoadFailed(Chain::polygon));
    EXPECT_FALSE(env.state().chartLoadFailed(Chain::bitcoin));
    env.web().setHandler([](const HttpFixtureRequest&) {
        return HttpFixtureResponse::json(R"([[1714000000000,"1","1","1","5"]])");
    });
    runTask(refreshPrices({&env.state(), {}}));
    EXPECT_FALSE(env.state().chartLoadFailed(Chain::polygon));
    EXPECT_EQ(env.state().chartCache().at("polygon").at(0).price, 5);

    // Locked before the job: nothing is asked. Locked while asking: the answers still land,
    // market data is not the wallet's.
    const auto asked = env.web().requests().size();
    env.state().setIsLocked(true);
    runTask(refreshPrices({&env.state(), {}}));
    EXPECT_EQ(env.web().requests().size(), asked);
    env.state().setIsLocked(false);
    ticker = R"([{"symbol":"BTCUSDT","lastPrice":"70000","priceChangePercent":"0"}])";
    env.web().setHandler([&](const HttpFixtureRequest&) {
        env.state().setIsLocked(true);
        return HttpFixtureResponse::json(ticker);
    });
    runTask(refreshPrices({&env.state(), {}}));
    EXPECT_EQ(env.state().btcPriceUSD(), 70000);
}

TEST(SolanaRefresh, OddHoldingsAndAFailedHistory) {
    RefreshFixture env;
    env.setSolanaAccount(solOwner);
    bool historyFails = false;
    env.rpc().setHandler([&](const HttpFixtureRequest& request) {
        const std::string method = json::parse(request.body.toStdString())["method"];
        const json context = {{"slot", 1}};
        if (method == "getLatestBlockhash") {
            return rpcResult({{"context", context},
                              {"value",
                               {{"blockhash", "11111111111111111111111111111111"},
                                {"lastValidBlockHeight", 9}}}});
        }
        if (method == "getBalance") {
            return rpcResult({{"context", context}, {"value", 2'500'000'000u}});
        }
        if (method == "getTokenAccountsByOwner") {
            return rpcResult(
                {{"context", context},
                 {"value",
                  json::array({tokenAccount(otherMint, "0", 9), tokenAccount(otherMint, "+42", 2),
                               tokenAccount(otherMint, "18446744073709551616", 0)})}});
        }
        if (historyFails) {
            return HttpFixtureResponse::withStatus(500);
        }
        return rpcResult(json::array(
            {{{"signature", "sig2"}, {"slot", 9}, {"blockTime", 1714566896}, {"err", nullptr}},
             {{"signature", "sig1"},
              {"slot", 5},
              {"blockTime", nullptr},
              {"err", {{"InstructionError", json::array({0, "Custom"})}}}}}));
    });
    runTask(refreshSolana({&env.state(), {}}));
    const SolanaAccountState& account = env.state().solanaAccounts().at(0);
    ASSERT_EQ(account.tokens.size(), 1u); // the empty and the unreadable holdings are left out
    EXPECT_EQ(account.tokens[0].name, otherMint.substr(0, 8) + "...");
    EXPECT_EQ(account.tokens[0].amount, 42u);
    ASSERT_EQ(account.transactions.size(), 2u);
    EXPECT_EQ(account.transactions[1].status, TransactionStatus::failed);
    EXPECT_FALSE(account.transactions[1].timestamp);
    EXPECT_FALSE(account.historyLoadFailed);

    // The history request fails: the older history stays, marked as not loaded.
    historyFails = true;
    runTask(refreshSolana({&env.state(), {}}));
    EXPECT_EQ(env.state().solanaAccounts().at(0).transactions.size(), 2u);
    EXPECT_TRUE(env.state().solanaAccounts().at(0).historyLoadFailed);
    historyFails = false;
    runTask(refreshSolana({&env.state(), {}}));
    EXPECT_FALSE(env.state().solanaAccounts().at(0).historyLoadFailed);
}

TEST(ExplorerRefresh, UnreadableRecordFieldsKeepTheirDefaults) {
    ExplorerTx huge;
    huge.hash = "0xh";
    huge.from = evmOwner;
    huge.to = other;
    huge.value = "12abc";
    huge.confirmations = "99999999999999999999999"; // past 64 bits: never wrapped
    huge.blockNumber = "18446744073709551617";
    huge.timeStamp = "1e300";
    const Transaction entry = *transactionFromExplorer(huge, Chain::ethereum, evmOwner, false);
    EXPECT_EQ(entry.amount, "0.0000 ETH");
    EXPECT_EQ(entry.confirmations, 0);
    EXPECT_EQ(entry.status, TransactionStatus::pending);
    EXPECT_FALSE(entry.blockHeight);
    EXPECT_FALSE(entry.timestamp);
    huge.isError = "1"; // an error wins over confirmations
    huge.confirmations = "3";
    EXPECT_EQ(transactionFromExplorer(huge, Chain::ethereum, evmOwner, false)->status,
              TransactionStatus::failed);
    huge.to.reset();
    EXPECT_FALSE(transactionFromExplorer(huge, Chain::ethereum, evmOwner, false));
}

// Amounts and fees come from the exact wei, rounded half up: 2.00005 ETH and a fee of 5 x 10^11
// wei are halves that a double holds just below (2.0000499..., 4.99...e-7).
TEST(ExplorerRefresh, AmountsAndFeesRoundTheExactWeiHalfUp) {
    ExplorerTx record;
    record.hash = "0xh";
    record.from = evmOwner;
    record.to = other;
    record.value = "2000050000000000000";
    record.gasUsed = "1";
    record.gasPrice = "500000000000";
    Transaction entry = *transactionFromExplorer(record, Chain::arbitrum, evmOwner, false);
    EXPECT_EQ(entry.amount, "2.0001 ETH");
    EXPECT_EQ(entry.fee, "0.000001 ETH");
    record.value = "99999950000000"; // 0.00009999995: rounds to 0.0001, so four digits
    EXPECT_EQ(transactionFromExplorer(record, Chain::polygon, evmOwner, false)->amount,
              "0.0001 POL");
    record.value = "50000000000000"; // 0.00005
    EXPECT_EQ(transactionFromExplorer(record, Chain::polygon, evmOwner, false)->amount,
              "0.000050 POL");
    record.gasUsed = "1e70"; // times 5 x 10^11: a product past 256 bits
    EXPECT_EQ(transactionFromExplorer(record, Chain::polygon, evmOwner, false)->fee,
              "0.000000 POL");
    // A token transfer: its decimals, its symbol.
    record.value = "1000005";
    record.tokenDecimal = "3";
    record.tokenSymbol = "TKN";
    EXPECT_EQ(transactionFromExplorer(record, Chain::ethereum, evmOwner, true)->amount,
              "1000.01 TKN");
}

TEST(ExplorerRefresh, HistoryNewestFirstAndFailedOrLockedTokenRequests) {
    RefreshFixture env;
    env.setEVMAccount(Chain::polygon, evmOwner);
    bool tokensFail = false;
    env.web().setHandler([&](const HttpFixtureRequest& request) {
        if (request.target.contains("/token-transfers")) {
            HttpFixtureResponse dropped;
            dropped.behaviour = HttpFixtureResponse::Behaviour::close;
            return tokensFail
                       ? dropped
                       : page(json::array({tokenItem("0xa1", "2024-05-01T12:00:00.000000Z")}));
        }
        json missingHash = transactionItem("0xzz", "2024-05-02T00:00:00.000000Z");
        missingHash.erase("hash");
        json noTime = transactionItem("0xa3", "");
        noTime.erase("timestamp");
        return page(
            json::array({transactionItem("0xa1", "2024-05-01T12:00:00.000000Z"), noTime,
                         missingHash, transactionItem("0xa2", "2024-05-03T00:00:00.000000Z")}));
    });
    runTask(refreshExplorerHistory({&env.state(), {}}, Chain::polygon));
    std::vector<std::string> ids;
    for (const Transaction& t : env.state().evmAccounts(Chain::polygon).at(0).transactions) {
        ids.push_back(t.id);
    }
    // Newest first; equal times keep normal before token; no time goes last.
    EXPECT_EQ(ids, (std::vector<std::string>{"0xa2", "0xa1", "0xa1-" + usdc, "0xa3"}));
    EXPECT_FALSE(env.state().evmAccounts(Chain::polygon).at(0).historyLoadFailed);

    // A failed token request: the normal entries are still written, the token transfers are
    // the last known ones, and the history is marked as not loaded.
    tokensFail = true;
    const auto written = env.state().evmAccounts(Chain::polygon).at(0).transactions;
    runTask(refreshExplorerHistory({&env.state(), {}}, Chain::polygon));
    EXPECT_EQ(env.state().evmAccounts(Chain::polygon).at(0).transactions, written);
    EXPECT_TRUE(env.state().evmAccounts(Chain::polygon).at(0).historyLoadFailed);
    // Both requests fail: every row stays.
    env.web().setHandler(dropConnection);
    runTask(refreshExplorerHistory({&env.state(), {}}, Chain::polygon));
    EXPECT_EQ(env.state().evmAccounts(Chain::polygon).at(0).transactions, written);
    EXPECT_TRUE(env.state().evmAccounts(Chain::polygon).at(0).historyLoadFailed);

    // Locked between an account's two requests: nothing more is written.
    env.web().setHandler([&](const HttpFixtureRequest&) {
        env.state().setIsLocked(true);
        return page(json::array({tokenItem("0xb1", "2024-05-01T12:00:00.000000Z")}));
    });
    const auto requests = env.web().requests().size();
    runTask(refreshExplorerHistory({&env.state(), {}}, Chain::polygon));
    EXPECT_EQ(env.web().requests().size(), requests + 1);
    EXPECT_EQ(env.state().evmAccounts(Chain::polygon).at(0).transactions, written);
}

// Whether each balance is a figure a server gave, through the balance jobs of the three kinds
// of chain: unknown until the first answer, failed after a load without one (the last known
// figure kept), known again after a later answer. The limit's side is in LoadingLists_tests.
TEST(BalanceRefresh, UnknownUntilAnsweredAndSaidToHaveFailedWithoutAnAnswer) {
    RefreshFixture env;
    AppState& state = env.state();
    env.setBitcoinAddresses({0});
    env.setEVMAccount(Chain::ethereum, evmOwner);
    env.setSolanaAccount(solOwner);
    using Loads = std::vector<BalanceLoad>;
    const auto loads = [&state] {
        return Loads{state.bitcoinAccounts().at(0).balanceLoad,
                     state.evmAccounts(Chain::ethereum).at(0).balanceLoad,
                     state.solanaAccounts().at(0).balanceLoad};
    };
    const auto figures = [&state] {
        return std::tuple{state.bitcoinAccounts().at(0).balanceSats,
                          state.evmAccounts(Chain::ethereum).at(0).balanceWei,
                          state.solanaAccounts().at(0).balanceLamports};
    };
    const auto refresh = [&state] {
        runTask(refreshBitcoinBalances({&state, {}}));
        runTask(refreshEVMBalances({&state, {}}, Chain::ethereum));
        runTask(refreshSolana({&state, {}}));
    };
    const auto refuse = [&env] {
        env.electrum().answerError("blockchain.scripthash.get_balance", -32603, "unavailable");
        env.rpc().setHandler(
            [](const HttpFixtureRequest&) { return HttpFixtureResponse::withStatus(503); });
    };
    env.electrum().answer("blockchain.scripthash.get_history", json::array());
    EXPECT_EQ(loads(), Loads(3, BalanceLoad{false, false}));

    // Every server refuses: still no figure, and now a failed load.
    refuse();
    refresh();
    EXPECT_EQ(loads(), Loads(3, BalanceLoad{false, true}));
    EXPECT_EQ(figures(), std::tuple(0u, UInt256(), 0u));

    // Answers, a zero among them: known, the zero as much as the others.
    env.electrum().answer("blockchain.scripthash.get_balance",
                          {{"confirmed", 0}, {"unconfirmed", 0}});
    env.rpc().setHandler(answerBalances);
    refresh();
    EXPECT_EQ(loads(), Loads(3, BalanceLoad{true, false}));
    const auto answered = std::tuple(0u, UInt256(0, 0, 0, 500'000'000'000'000), 2'500'000'000u);
    EXPECT_EQ(figures(), answered);

    // Refused again: the figures stay, said to be old.
    refuse();
    refresh();
    EXPECT_EQ(loads(), Loads(3, BalanceLoad{true, true}));
    EXPECT_EQ(figures(), answered);
}
