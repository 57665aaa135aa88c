#include "RefreshFixture.h"
#include "RunTask.h"
#include "state/async/CancellableSleep.h"
#include "state/async/TaskHandle.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace qm;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::RefreshFixture;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

// Prices and charts as the exchange answers them; empty explorer pages.
HttpFixtureResponse marketAnswer(const HttpFixtureRequest& request) {
    if (request.target.contains("/ticker/24hr")) {
        return HttpFixtureResponse::json(
            R"([{"symbol":"BTCUSDT","lastPrice":"60000.5","priceChangePercent":"-1.5"},)"
            R"({"symbol":"ETHUSDT","lastPrice":"3000","priceChangePercent":"2"}])");
    }
    if (request.target.contains("/klines")) {
        return HttpFixtureResponse::json(R"([[1714000000000,"1","1","1","5"]])");
    }
    return HttpFixtureResponse::json(R"({"items":[],"next_page_params":null})");
}

int countRequests(const test::HttpFixture& server, const char* fragment) {
    int count = 0;
    for (const auto& request : server.requests()) {
        count += request.target.contains(fragment) ? 1 : 0;
    }
    return count;
}

void answerBitcoin(test::ElectrumFixture& server) {
    server.answer("blockchain.headers.subscribe", {{"height", 100}, {"hex", "00"}});
    server.answer("blockchain.scripthash.get_balance", {{"confirmed", 1234}, {"unconfirmed", 0}});
    server.answer("blockchain.scripthash.get_history", json::array());
    server.answer("blockchain.scripthash.subscribe", nullptr);
}

// A job that runs until it is cancelled.
QCoro::Task<void> untilCancelledJob(CancellationToken token) {
    co_await cancellableSleep(std::chrono::hours(1), token);
}

} // namespace

TEST(RefreshOrchestrator, AStalledJobHoldsBackNoOtherAndTheRefreshEnds) {
    RefreshFixture::Setup setup;
    setup.electrumRequestTimeout = std::chrono::milliseconds(300);
    RefreshFixture env(setup);
    env.setBitcoinAddresses({0});
    env.web().setHandler(marketAnswer);
    env.electrum().stall("blockchain.scripthash.get_balance");
    env.electrum().stall("blockchain.scripthash.get_history");
    env.electrum().stall("blockchain.headers.subscribe");

    std::optional<bool> refreshingWhenPriced;
    QObject::connect(&env.state(), &AppState::btcPriceUSDChanged,
                     [&] { refreshingWhenPriced = env.state().isRefreshing(); });
    runTask(env.refresh().refreshAll({}));

    EXPECT_EQ(env.state().btcPriceUSD(), 60000.5);
    EXPECT_EQ(env.state().ethPriceUSD(), 3000);
    EXPECT_EQ(env.state().chainPrices().at(Chain::bitcoin), (ChainPrice{60000.5, -1.5}));
    EXPECT_EQ(env.state().chartCache().size(), 5u);
    // The prices were written while the stalled Bitcoin jobs still ran...
    EXPECT_EQ(refreshingWhenPriced, true);
    // ...and those gave up at their time-outs, so the refresh still ended.
    EXPECT_FALSE(env.state().isRefreshing());
    EXPECT_TRUE(env.state().lastRefresh());
    EXPECT_FALSE(env.state().bitcoinAccounts().at(0).addresses[0].fetched);
}

TEST(RefreshOrchestrator, OverlappingPassesEachRunWholeAndStampTheirEnd) {
    RefreshFixture env;
    env.web().setHandler(marketAnswer);
    QSignalSpy stamped(&env.state(), &AppState::lastRefreshChanged);
    QSignalSpy refreshing(&env.state(), &AppState::isRefreshingChanged);

    auto first = env.refresh().refreshAll({});
    EXPECT_TRUE(env.state().isRefreshing());
    auto second = env.refresh().refreshAll({});
    runTask(std::move(first));
    runTask(std::move(second));

    EXPECT_EQ(countRequests(env.web(), "/ticker/24hr"), 2);
    EXPECT_EQ(countRequests(env.web(), "/klines"), 10);
    EXPECT_EQ(stamped.count(), 2);
    EXPECT_EQ(refreshing.count(), 2); // on at the first start, off at the first end
    EXPECT_FALSE(env.state().isRefreshing());
    // With every account list empty no account job went to a server beyond the EVM probes.
    EXPECT_EQ(env.electrum().requestCount("blockchain.scripthash.get_balance"), 0);
}

TEST(RefreshOrchestrator, LockMidPassStopsEveryJobBeforeItsNextWrite) {
    // Time limits far beyond the test: only the cancellation can end the stalled requests.
    RefreshFixture::Setup setup;
    setup.httpTimeouts = HttpTimeouts{std::chrono::minutes(5), std::chrono::minutes(5)};
    RefreshFixture env(setup);
    env.setBitcoinAddresses({0, 1});
    env.setEVMAccount(Chain::ethereum, "0x00000000000000000000000000000000000000e1");
    env.setSolanaAccount("11111111111111111111111111111111");
    answerBitcoin(env.electrum());
    env.electrum().holdAnswers(true);
    // The RPC pools connect, then every later request stalls; the explorer stalls too.
    env.rpc().setHandler([](const HttpFixtureRequest& request) {
        if (request.body.contains("eth_gasPrice")) {
            return HttpFixtureResponse::json(R"({"jsonrpc":"2.0","id":1,"result":"0x1"})");
        }
        if (request.body.contains("getLatestBlockhash")) {
            return HttpFixtureResponse::json(
                R"({"jsonrpc":"2.0","id":1,"result":{"context":{"slot":1},"value":{"blockhash":"11111111111111111111111111111111","lastValidBlockHeight":9}}})");
        }
        return HttpFixtureResponse::stalling();
    });
    env.web().setHandler([](const HttpFixtureRequest& request) {
        return request.target.contains("/api/v2/") ? HttpFixtureResponse::stalling()
                                                   : marketAnswer(request);
    });

    CancellationToken token;
    auto pass = env.refresh().refreshAll(token);
    ASSERT_TRUE(env.electrum().waitForRequests(2));
    ASSERT_TRUE(RefreshFixture::waitUntil([&] {
        bool discovery = false;
        bool solana = false;
        for (const auto& request : env.rpc().requests()) {
            discovery = discovery || request.body.contains("eth_call");
            solana = solana || request.body.contains("getBalance");
        }
        return countRequests(env.web(), "/transactions") == 1 && discovery && solana;
    }));

    // What lock does: cancel, mark locked, empty the lists.
    token.cancel();
    env.state().setIsLocked(true);
    env.state().setBitcoinAccounts({});
    env.state().setEthereumAccounts({});
    env.state().setSolanaAccounts({});
    QSignalSpy bitcoinWrites(&env.state(), &AppState::bitcoinAccountsChanged);
    QSignalSpy ethereumWrites(&env.state(), &AppState::ethereumAccountsChanged);
    QSignalSpy solanaWrites(&env.state(), &AppState::solanaAccountsChanged);
    const auto rpcRequests = env.rpc().requests().size();
    const int electrumRequests = env.electrum().requestCount();
    env.electrum().releaseHeld();
    runTask(std::move(pass));

    EXPECT_EQ(bitcoinWrites.count(), 0);
    EXPECT_EQ(ethereumWrites.count(), 0);
    EXPECT_EQ(solanaWrites.count(), 0);
    EXPECT_EQ(env.rpc().requests().size(), rpcRequests);
    EXPECT_EQ(env.electrum().requestCount(), electrumRequests);
    EXPECT_EQ(countRequests(env.web(), "/token-transfers"), 0);
    EXPECT_FALSE(env.state().isRefreshing());
    EXPECT_TRUE(env.state().lastRefresh());
    // The cancelled jobs' HTTP requests were aborted, not left to run into their time-outs.
    EXPECT_TRUE(RefreshFixture::waitUntil(
        [&] { return env.rpc().openStalls() == 0 && env.web().openStalls() == 0; }));
}

TEST(RefreshOrchestrator, NothingHappensWhileLocked) {
    RefreshFixture env;
    env.setBitcoinAddresses({0});
    env.setSolanaAccount("11111111111111111111111111111111");
    env.web().setHandler(marketAnswer);
    env.state().setIsLocked(true);
    runTask(env.refresh().refreshAll({}));
    runTask(env.refresh().refreshBitcoin({}));
    EXPECT_EQ(env.electrum().connectionCount(), 0);
    EXPECT_TRUE(env.rpc().requests().empty());
    EXPECT_TRUE(env.web().requests().empty());
    EXPECT_TRUE(env.state().lastRefresh()); // the pass itself still ends as usual

    // Notifications while locked change nothing, not even the height.
    env.refresh().handleHeaderNotification({777, "00"});
    env.refresh().handleScriptHashNotification();
    RefreshFixture::spin(50);
    EXPECT_EQ(env.state().btcBlockHeight(), 0);
    EXPECT_FALSE(env.state().btcNotificationDebounce());
}

TEST(RefreshOrchestrator, TheLoopWaitsAPeriodBeforeEachRefreshAndStopsWhenCancelled) {
    RefreshFixture env;
    env.web().setHandler(marketAnswer);
    QSignalSpy stamped(&env.state(), &AppState::lastRefreshChanged);

    // The first refresh comes a whole period after the start, not at once.
    TaskHandle loop = TaskHandle::spawn(
        &env.state(), [&](const CancellationToken& t) { return env.refresh().runRefreshLoop(t); });
    RefreshFixture::spin(100);
    EXPECT_EQ(stamped.count(), 0);
    loop.cancel(); // during the sleep: ends without a refresh
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return loop.isFinished(); }));
    EXPECT_EQ(stamped.count(), 0);
    EXPECT_TRUE(env.web().requests().empty());

    env.refresh().setPeriods({std::chrono::milliseconds(20), std::chrono::milliseconds(20)});
    TaskHandle fast = TaskHandle::spawn(
        &env.state(), [&](const CancellationToken& t) { return env.refresh().runRefreshLoop(t); });
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return stamped.count() >= 3; }));
    fast.cancel();
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return fast.isFinished(); }));
    const int passes = stamped.count();
    RefreshFixture::spin(100);
    EXPECT_EQ(stamped.count(), passes);
    EXPECT_EQ(countRequests(env.web(), "/ticker/24hr"), passes);
}

TEST(RefreshOrchestrator, ABurstOfNotificationsGivesOneBitcoinRefresh) {
    RefreshFixture env;
    env.setBitcoinAddresses({0, 1});
    answerBitcoin(env.electrum());
    TaskHandle subscriptions = TaskHandle::spawn(&env.state(), [&](const CancellationToken& t) {
        return env.refresh().runBitcoinSubscriptions(t);
    });
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return subscriptions.isFinished(); }));
    EXPECT_TRUE(env.state().btcSubscriptionsReady());
    EXPECT_EQ(env.electrum().requestCount("blockchain.headers.subscribe"), 1);
    EXPECT_EQ(env.electrum().requestCount("blockchain.scripthash.subscribe"), 2);
    const auto& subscribed = env.electrum().requests();
    EXPECT_EQ(subscribed.back()["params"], json::array({RefreshFixture::testScriptHash(1)}));

    // An unlock's full refresh is running in activeRefreshTask: the burst replaces it.
    TaskHandle unlockRefresh = TaskHandle::spawn(&env.state(), untilCancelledJob);
    env.state().setActiveRefreshTask(unlockRefresh);

    for (int i = 0; i < 5; ++i) {
        env.electrum().notify("blockchain.scripthash.subscribe",
                              json::array({RefreshFixture::testScriptHash(0), "status"}));
        RefreshFixture::spin(200);
    }
    ASSERT_TRUE(RefreshFixture::waitUntil(
        [&] { return env.electrum().requestCount("blockchain.scripthash.get_balance") >= 2; }));
    ASSERT_TRUE(
        RefreshFixture::waitUntil([&] { return env.state().activeRefreshTask()->isFinished(); }));
    RefreshFixture::spin(1'300); // a second pass would have started by now
    EXPECT_EQ(env.electrum().requestCount("blockchain.scripthash.get_balance"), 2);
    EXPECT_TRUE(unlockRefresh.isCancelled());
    EXPECT_EQ(env.state().bitcoinAccounts().at(0).balanceSats, 2468u);
    EXPECT_FALSE(env.state().lastRefresh()); // a Bitcoin-only refresh stamps nothing

    // A header records the tip at once and schedules another pass.
    env.electrum().notify("blockchain.headers.subscribe",
                          json::array({{{"height", 101}, {"hex", "00"}}}));
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return env.state().btcBlockHeight() == 101; }));
    ASSERT_TRUE(RefreshFixture::waitUntil(
        [&] { return env.electrum().requestCount("blockchain.scripthash.get_balance") == 4; }));
}
