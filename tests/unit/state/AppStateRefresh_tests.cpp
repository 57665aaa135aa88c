#include "AppStateFixture.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "state/refresh/RefreshOrchestrator.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace qm;
using qm::test::AppStateFixture;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

void answerBitcoin(test::ElectrumFixture& server) {
    server.answer("blockchain.headers.subscribe", {{"height", 800'000}, {"hex", "00"}});
    server.answer("blockchain.scripthash.get_balance", {{"confirmed", 100}, {"unconfirmed", 0}});
    server.answer("blockchain.scripthash.get_history", json::array());
    server.answer("blockchain.scripthash.subscribe", nullptr);
}

// Opens the "abandon ... about" wallet with the refresh running on short periods.
void openWallet(AppStateFixture& env) {
    answerBitcoin(env.electrum());
    env.state().loadStoredState();
    env.state().refreshOrchestrator().setSuspendedForTesting(false);
    env.state().refreshOrchestrator().setPeriods(
        {std::chrono::milliseconds(100), std::chrono::milliseconds(50)});
    env.state().createWallet(AppStateFixture::abandonPhrase(), "password");
}

} // namespace

TEST(AppStateRefresh, AnOpenedWalletIsRefreshedSubscribedAndLoopedUntilLocked) {
    AppStateFixture env;
    QSignalSpy stamped(&env.state(), &AppState::lastRefreshChanged);
    openWallet(env);

    // The immediate refresh: every one of the five addresses, summed into the account.
    ASSERT_TRUE(test::RefreshFixture::waitUntil([&] { return stamped.count() >= 1; }));
    const BTCAccountState& account = env.state().bitcoinAccounts().at(0);
    EXPECT_EQ(account.balanceSats, 500u);
    for (const BTCAddressInfo& address : account.addresses) {
        EXPECT_TRUE(address.fetched);
    }
    EXPECT_EQ(env.state().btcBlockHeight(), 800'000);
    // The subscriptions: the header and the five script hashes.
    ASSERT_TRUE(
        test::RefreshFixture::waitUntil([&] { return env.state().btcSubscriptionsReady(); }));
    EXPECT_EQ(env.electrum().requestCount("blockchain.scripthash.subscribe"), 5);
    // The loop refreshes again after its period (its rules: RefreshOrchestrator_tests).
    ASSERT_TRUE(test::RefreshFixture::waitUntil([&] { return stamped.count() >= 3; }));

    // Lock in the middle of a pass: nothing more is written, the loop stops.
    env.electrum().holdAnswers(true);
    auto pass = env.state().refreshAll();
    ASSERT_TRUE(env.electrum().waitForRequests(env.electrum().requestCount() + 1));
    env.state().lock();
    QSignalSpy writes(&env.state(), &AppState::bitcoinAccountsChanged);
    env.electrum().releaseHeld();
    runTask(std::move(pass));
    EXPECT_EQ(writes.count(), 0);
    EXPECT_TRUE(env.state().bitcoinAccounts().empty());
    EXPECT_FALSE(env.state().isRefreshing());
    const int passes = stamped.count();
    AppStateFixture::settle();
    test::RefreshFixture::spin(400);
    EXPECT_EQ(stamped.count(), passes);
}

TEST(AppStateRefresh, NotificationsAfterTheWalletWasDeletedAreIgnored) {
    AppStateFixture env;
    openWallet(env);
    ASSERT_TRUE(
        test::RefreshFixture::waitUntil([&] { return env.state().btcSubscriptionsReady(); }));

    // The reset keeps the Electrum connection (it belongs to the pools), and the server still
    // knows the deleted wallet's addresses: its notifications must start nothing.
    env.state().resetWallet();
    AppStateFixture::settle();
    const auto requests = env.electrum().requestCount();
    env.electrum().notify("blockchain.headers.subscribe",
                          json::array({{{"height", 900'000}, {"hex", "00"}}}));
    test::RefreshFixture::spin(400);
    EXPECT_EQ(env.electrum().requestCount(), requests);
    EXPECT_NE(env.state().btcBlockHeight(), 900'000);
    EXPECT_FALSE(env.state().isRefreshing());
}
