#include "AnvilNode.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "state/refresh/EVMRefresh.h"

#include <gtest/gtest.h>

using namespace qm;
using qm::test::AnvilNode;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::RefreshFixture;
using qm::test::runTask;

namespace {

const std::string owner = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";
const std::string tokenAddress = "0x00000000000000000000000000000000000c0de1";

std::string word(const std::string& hexDigits) {
    return std::string(64 - hexDigits.size(), '0') + hexDigits;
}

HttpFixtureResponse rpcResult(const std::string& result) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(R"({"jsonrpc":"2.0","id":1,"result":)" + result + "}"));
}

} // namespace

TEST(EVMRefresh, EtherAndTokenBalancesOfThreeChainsFromAnvil) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed";
    }
    AnvilNode ethereum(1), arbitrum(42161), polygon(137);
    RefreshFixture::Setup setup;
    setup.ethereum = ethereum.url();
    setup.arbitrum = arbitrum.url();
    setup.polygon = polygon.url();
    RefreshFixture env(setup);

    // 20 ether, 0.0005 ether and 1.5 POL; a token minted to the owner on each chain.
    const std::vector<std::tuple<Chain, AnvilNode*, std::string, double, std::string>> cases{
        {Chain::ethereum, &ethereum, "0x1158e460913d00000", 20.0, "2faf080"}, // 50 TST
        {Chain::arbitrum, &arbitrum, "0x1c6bf52634000", 0.0005, "f4240"},     // 1 TST
        {Chain::polygon, &polygon, "0x14d1120d7b160000", 1.5, "0"}};          // none
    for (const auto& [chain, node, wei, coins, amount] : cases) {
        node->setBalance(owner, wei);
        node->setCode(tokenAddress,
                      test::TestContracts::shared().deployedBytecode("StandardToken"));
        if (amount != "0") {
            node->send(AnvilNode::devAccount(0), tokenAddress,
                       "0x40c10f19" + word(owner.substr(2)) + word(amount));
        }
        env.setEVMAccount(chain, owner);
    }

    for (const auto& [chain, node, wei, coins, amount] : cases) {
        runTask(refreshEVMBalances({&env.state(), {}}, chain));
        const EVMAccountState& account = env.state().evmAccounts(chain).at(0);
        EXPECT_DOUBLE_EQ(account.balanceNative, coins) << rawValue(chain);
        const std::vector<Token> stored = env.tokens().tokens(chain);
        if (amount == "0") {
            // Nothing sent to the owner: nothing discovered, the token list stays as it was.
            EXPECT_TRUE(stored.empty());
            EXPECT_TRUE(account.tokens.empty());
            continue;
        }
        ASSERT_EQ(stored.size(), 1u) << rawValue(chain);
        EXPECT_EQ(stored[0].symbol, "TST");
        ASSERT_EQ(account.tokens.size(), 1u);
        EXPECT_EQ(account.tokens[0].balance, "0x" + amount);
        EXPECT_DOUBLE_EQ(account.tokens[0].balanceFormatted,
                         static_cast<double>(std::stoull(amount, nullptr, 16)) / 1e6);
        EXPECT_FALSE(account.tokens[0].priceUSD); // no quote without the swap feature
    }
}

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

TEST(EVMRefresh, WeiToCoins) {
    EXPECT_DOUBLE_EQ(weiToCoins(*UInt256::fromHex("0x1158e460913d00000")), 20.0);
    // All 256 bits count: 2^255 wei is about 5.79e58 coins, never wrapped.
    EXPECT_DOUBLE_EQ(weiToCoins(UInt256(1ull << 63, 0, 0, 0)), std::ldexp(1.0, 255) / 1e18);
}
