// Whole refreshes against real peers are in FullRefresh_tests; here how passes are scheduled.
#include "RefreshFixture.h"
#include "RunTask.h"
#include "platform/async/CancellableSleep.h"
#include "platform/async/TaskHandle.h"

#include <QPointer>
#include <QSignalSpy>
#include <algorithm>
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

long countRequests(const test::HttpFixture& server, const char* fragment) {
    const auto& all = server.requests();
    return std::count_if(all.begin(), all.end(),
                         [&](const auto& request) { return request.target.contains(fragment); });
}

void answerBitcoin(test::ElectrumFixture& server) {
    server.answer("blockchain.headers.subscribe", {{"height", 100}, {"hex", "00"}});
    server.answer("blockchain.scripthash.get_balance", {{"confirmed", 1234}, {"unconfirmed", 0}});
    server.answer("blockchain.scripthash.get_history", json::array());
    server.answer("blockchain.scripthash.subscribe", nullptr);
}

// A fixture whose exchange answers and whose explorer pages are empty.
struct MarketEnv : RefreshFixture {
    explicit MarketEnv(Setup setup = {}) : RefreshFixture(setup) { web().setHandler(marketAnswer); }
    TaskHandle loop() {
        return TaskHandle::spawn(
            &state(), [this](const CancellationToken& t) { return refresh().runRefreshLoop(t); });
    }
};

class Owner : public QObject {
public:
    QCoro::Task<void> sleepThenWrite(CancellationToken token, std::vector<std::string>* steps) {
        QPointer<Owner> self(this);
        const bool slept = co_await cancellableSleep(std::chrono::hours(1), token);
        steps->push_back(slept ? "slept" : "woken");
        steps->push_back(self ? "owner here" : "owner gone");
    }
};

} // namespace

TEST(RefreshOrchestrator, AStalledJobHoldsBackNoOtherAndTheRefreshEnds) {
    RefreshFixture::Setup setup;
    setup.electrumRequestTimeout = std::chrono::milliseconds(300);
    MarketEnv env(setup);
    env.setBitcoinAddresses({0});
    env.electrum().stall("blockchain.scripthash.get_balance");
    env.electrum().stall("blockchain.scripthash.get_history");
    env.electrum().stall("blockchain.headers.subscribe");

    std::optional<bool> refreshingWhenPriced;
    QObject::connect(&env.state(), &AppState::btcPriceUSDChanged,
                     [&] { refreshingWhenPriced = env.state().isRefreshing(); });
    runTask(env.refresh().refreshAll({}));

    EXPECT_EQ(env.state().btcPriceUSD(), 60000.5);
    // The prices were written while the stalled Bitcoin jobs still ran...
    EXPECT_EQ(refreshingWhenPriced, true);
    // ...and those gave up at their time-outs, so the refresh still ended.
    EXPECT_FALSE(env.state().isRefreshing());
    EXPECT_FALSE(env.state().bitcoinAccounts().at(0).addresses[0].fetched);
}

TEST(RefreshOrchestrator, OverlappingPassesEachRunWholeAndStampTheirEnd) {
    MarketEnv env;
    QSignalSpy stamped(&env.state(), &AppState::lastRefreshChanged);
    QSignalSpy refreshing(&env.state(), &AppState::isRefreshingChanged);

    auto first = env.refresh().refreshAll({});
    EXPECT_TRUE(env.state().isRefreshing());
    auto second = env.refresh().refreshAll({});
    runTask(std::move(first));
    runTask(std::move(second));

    EXPECT_EQ(countRequests(env.web(), "/ticker/24hr"), 2);
    EXPECT_EQ(stamped.count(), 2);
    EXPECT_EQ(refreshing.count(), 2); // on at the first start, off at the first end
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
        const bool probe = request.body.contains("eth_gasPrice");
        return probe || request.body.contains("getLatestBlockhash")
                   ? HttpFixtureResponse::json(
                         probe
                             ? R"({"jsonrpc":"2.0","id":1,"result":"0x1"})"
                             : R"({"jsonrpc":"2.0","id":1,"result":{"context":{"slot":1},"value":{"blockhash":"11111111111111111111111111111111","lastValidBlockHeight":9}}})")
                   : HttpFixtureResponse::stalling();
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
    env.state().setEVMAccounts(Chain::ethereum, {});
    env.state().setSolanaAccounts({});
    int writes = 0;
    for (auto signal : {&AppState::bitcoinAccountsChanged, &AppState::solanaAccountsChanged}) {
        QObject::connect(&env.state(), signal, [&] { ++writes; });
    }
    QObject::connect(&env.state(), &AppState::evmAccountsChanged, [&] { ++writes; });
    QObject::connect(&env.state(), &AppState::accountChanged, [&] { ++writes; });
    const auto rpcRequests = env.rpc().requests().size();
    const int electrumRequests = env.electrum().requestCount();
    env.electrum().releaseHeld();
    runTask(std::move(pass));

    EXPECT_EQ(writes, 0);
    EXPECT_EQ(env.rpc().requests().size(), rpcRequests);
    EXPECT_EQ(env.electrum().requestCount(), electrumRequests);
    EXPECT_EQ(countRequests(env.web(), "/token-transfers"), 0);
    EXPECT_FALSE(env.state().isRefreshing());
    // The cancelled jobs' HTTP requests were aborted, not left to run into their time-outs.
    EXPECT_TRUE(RefreshFixture::waitUntil(
        [&] { return env.rpc().openStalls() == 0 && env.web().openStalls() == 0; }));
}

TEST(RefreshOrchestrator, NothingHappensWhileLocked) {
    MarketEnv env;
    env.setBitcoinAddresses({0});
    env.setSolanaAccount("11111111111111111111111111111111");
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
    EXPECT_FALSE(env.refresh().btcNotificationDebounce());
}

TEST(RefreshOrchestrator, TheLoopWaitsAPeriodBeforeEachRefreshAndStopsWhenCancelled) {
    MarketEnv env;
    QSignalSpy stamped(&env.state(), &AppState::lastRefreshChanged);

    // The first refresh comes a whole period after the start, not at once.
    TaskHandle loop = env.loop();
    RefreshFixture::spin(100);
    EXPECT_EQ(stamped.count(), 0);
    loop.cancel(); // during the sleep: ends without a refresh
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return loop.isFinished(); }));
    EXPECT_TRUE(env.web().requests().empty());

    env.refresh().setPeriods({std::chrono::milliseconds(20), std::chrono::milliseconds(20)});
    TaskHandle fast = env.loop();
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

    for (int i = 0; i < 5; ++i) {
        env.electrum().notify("blockchain.scripthash.subscribe",
                              json::array({RefreshFixture::testScriptHash(0), "status"}));
        RefreshFixture::spin(200);
    }
    ASSERT_TRUE(RefreshFixture::waitUntil(
        [&] { return env.electrum().requestCount("blockchain.scripthash.get_balance") >= 2; }));
    ASSERT_TRUE(RefreshFixture::waitUntil([&] {
        const auto task = env.refresh().activeRefreshTask();
        return task && task->isFinished();
    }));
    RefreshFixture::spin(1'300); // a second pass would have started by now
    EXPECT_EQ(env.electrum().requestCount("blockchain.scripthash.get_balance"), 2);
}

TEST(TaskHandle, DestroyingTheOwnerCancelsItsJobsAndTheyLeaveItAlone) {
    std::vector<std::string> steps;
    auto* owner = new Owner;
    const TaskHandle sleeper = TaskHandle::spawn(owner, [owner, &steps](CancellationToken token) {
        return owner->sleepThenWrite(std::move(token), &steps);
    });
    RefreshFixture::spin(10);
    EXPECT_TRUE(steps.empty()); // asleep
    delete owner;               // mid-await
    runTask(sleeper.finished());
    EXPECT_TRUE(sleeper.isCancelled());
    EXPECT_EQ(steps, (std::vector<std::string>{"woken", "owner gone"}));
}
