// Dollar values of ERC-20 balances through the EVM balance refresh, priced by the Uniswap V3
// quoter deployed on anvil.
#include "AnvilNode.h"
#include "RPCProxy.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "UniswapV3Fixture.h"
#include "core/encoding/AsciiCase.h"
#include "services/swap/EVMSwapTokens.h"
#include "state/refresh/EVMRefresh.h"

#include <gtest/gtest.h>

using namespace qm;
using qm::test::AnvilNode;
using qm::test::RefreshFixture;
using qm::test::runTask;
using qm::test::UniswapV3Fixture;

TEST(TokenPrices, HeldTokensArePricedInDollarsThroughTheRefresh) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    AnvilNode node(137);
    UniswapV3Fixture uniswap(node, Chain::polygon);
    test::RPCProxy proxy;
    proxy.setTarget(node.url());
    RefreshFixture::Setup setup;
    setup.polygon = proxy.url();
    setup.quoteTokenPrices = true;
    RefreshFixture env(setup);
    const std::string owner = AnvilNode::devAccount(1);
    env.setEVMAccount(Chain::polygon, owner);
    node.setBalance(owner, "0x0");

    const auto whole = [](std::uint64_t count, unsigned decimals) {
        return UInt256(0, 0, 0, count)
            .checkedMultiply(UInt256::powerOfTen(decimals).value())
            .value();
    };
    const std::vector<std::pair<Token, UInt256>> held = {
        {{UniswapV3Fixture::gold, "GLD", "Gold", 18, Chain::polygon}, whole(2, 18)},
        {{UniswapV3Fixture::micro, "MCR", "Micro", 24, Chain::polygon}, whole(10, 24)},
        {{UniswapV3Fixture::lonely, "LONE", "Lonely", 18, Chain::polygon}, whole(5, 18)},
        {{uniswap.usdc(), "USDC", "USD Coin", 6, Chain::polygon}, whole(7, 6)},
    };
    for (const auto& [token, amount] : held) {
        uniswap.mint(token.contractAddress, owner, amount);
        ASSERT_EQ(env.tokens().add(token), TokenStore::AddResult::added);
    }
    runTask(refreshEVMBalances({&env.state(), {}}, Chain::polygon));

    const auto& tokens = env.state().evmAccounts(Chain::polygon).at(0).tokens;
    const auto price = [&](const std::string& address) {
        for (const TokenBalance& balance : tokens) {
            if (balance.token.contractAddress == address) {
                return balance.priceUSD;
            }
        }
        ADD_FAILURE() << "no balance of " << address;
        return std::optional<double>();
    };
    // 1 GLD is about 50 USDC less the 0.3 % fee; 1 MCR (10^24 base units) about 3 USDC.
    EXPECT_NEAR(price(UniswapV3Fixture::gold).value_or(0), 49.85, 0.05);
    EXPECT_NEAR(price(UniswapV3Fixture::micro).value_or(0), 2.998, 0.002);
    EXPECT_EQ(price(UniswapV3Fixture::lonely), std::nullopt);
    EXPECT_EQ(price(uniswap.usdc()), 1.0);
    // The portfolio's total: the priced tokens' values and nothing for the one without a price.
    EXPECT_NEAR(env.state().totalUSD(Chain::polygon), 2 * 49.85 + 10 * 2.998 + 7, 0.15);
    // Without a pool the price is absent, not missing.
    const auto failed = [&](const std::string& address) {
        for (const TokenBalance& balance : tokens) {
            if (balance.token.contractAddress == address) {
                return balance.priceLoadFailed;
            }
        }
        return false;
    };
    EXPECT_FALSE(failed(UniswapV3Fixture::gold) || failed(UniswapV3Fixture::lonely));

    // A node that fails every quote (the balances still answered): no price, and missing, which
    // is no token without a pool.
    proxy.setOverride("eth_call", [](const nlohmann::json& params) {
        const bool quote = lowercaseASCII(params.at(0).at("to").get<std::string>()) ==
                           lowercaseASCII(uniswapQuoterAddress);
        return quote ? std::optional(test::HttpFixtureResponse::withStatus(503)) : std::nullopt;
    });
    runTask(refreshEVMBalances({&env.state(), {}}, Chain::polygon));
    EXPECT_EQ(price(UniswapV3Fixture::gold), std::nullopt);
    EXPECT_TRUE(failed(UniswapV3Fixture::gold));
    EXPECT_TRUE(failed(UniswapV3Fixture::lonely));
    EXPECT_EQ(price(uniswap.usdc()), 1.0); // asks no node
    EXPECT_FALSE(failed(uniswap.usdc()));
}
