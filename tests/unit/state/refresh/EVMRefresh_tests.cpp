// Balances from anvil land in a whole refresh (FullRefresh_tests); here the failure paths.
#include "RefreshFixture.h"
#include "RunTask.h"
#include "state/refresh/EVMRefresh.h"

#include <gtest/gtest.h>

using namespace qm;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::RefreshFixture;
using qm::test::runTask;

namespace {

const std::string owner = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";
const std::string tokenAddress = "0x00000000000000000000000000000000000c0de1";

HttpFixtureResponse rpcResult(const std::string& result) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(R"({"jsonrpc":"2.0","id":1,"result":)" + result + "}"));
}

} // namespace

TEST(EVMRefresh, AFailedBalanceReconnectsAndRereadsOnlyNativeBalances) {
    RefreshFixture env;
    env.setEVMAccount(Chain::ethereum, owner);
    ASSERT_EQ(env.tokens().add(Token{tokenAddress, "TST", "Test", 6, Chain::ethereum}),
              TokenStore::AddResult::added);
    int balanceRequests = 0;
    env.rpc().setHandler([&](const HttpFixtureRequest& request) {
        if (request.body.contains("eth_getBalance")) {
            return ++balanceRequests == 1 ? HttpFixtureResponse::withStatus(503)
                                          : rpcResult(R"("0x1c6bf52634000")");
        }
        if (request.body.contains("eth_gasPrice")) {
            return rpcResult(R"("0x1")");
        }
        if (request.body.contains("eth_blockNumber")) {
            return rpcResult(R"("0x10")");
        }
        return rpcResult(R"([])");
    });
    runTask(refreshEVMBalances({&env.state(), {}}, Chain::ethereum));
    EXPECT_EQ(balanceRequests, 2);
    const EVMAccountState& account = env.state().ethereumAccounts().at(0);
    EXPECT_DOUBLE_EQ(account.balanceNative, 0.0005);
    EXPECT_TRUE(account.tokens.empty()); // token balances wait for the next run
    EXPECT_TRUE(env.state().networkManager().evmPool(Chain::ethereum).connected);
    for (const auto& request : env.rpc().requests()) {
        const bool tokenCall = request.body.contains("eth_call") &&
                               request.body.contains(QByteArray::fromStdString(tokenAddress));
        EXPECT_FALSE(tokenCall);
    }

    // An unparsable balance on the retry is skipped; the older value stays.
    balanceRequests = 0;
    env.rpc().setHandler([&](const HttpFixtureRequest& request) {
        if (request.body.contains("eth_getBalance")) {
            return ++balanceRequests == 1 ? HttpFixtureResponse::withStatus(500)
                                          : rpcResult(R"("0xzz")");
        }
        return rpcResult(request.body.contains("eth_gasPrice") ? R"("0x1")" : R"([])");
    });
    runTask(refreshEVMBalances({&env.state(), {}}, Chain::ethereum));
    EXPECT_EQ(balanceRequests, 2);
    EXPECT_DOUBLE_EQ(env.state().ethereumAccounts().at(0).balanceNative, 0.0005);
}

TEST(EVMRefresh, WeiToCoinsUsesAll256Bits) {
    // All 256 bits count: 2^255 wei is about 5.79e58 coins, never wrapped.
    EXPECT_DOUBLE_EQ(weiToCoins(UInt256(1ull << 63, 0, 0, 0)), std::ldexp(1.0, 255) / 1e18);
}
