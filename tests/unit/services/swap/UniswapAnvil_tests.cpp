// The quoter and the token prices against Uniswap V3 deployed on anvil from its published
// artifacts, on chain ids 1, 42161 and 137. The router calls, signed by the wallet, are in
// SwapExecution_tests.
#include "AnvilNode.h"
#include "RunTask.h"
#include "UniswapV3Fixture.h"
#include "core/encoding/Hex.h"
#include "services/evm/JSONRPCClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"
#include "services/swap/UniswapQuoter.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::AnvilNode;
using test::runTask;
using test::UniswapV3Fixture;

Chain chainOf(std::uint64_t id) {
    return id == 1 ? Chain::ethereum : id == 42161 ? Chain::arbitrum : Chain::polygon;
}

UInt256 whole(std::uint64_t count, unsigned decimals) {
    return UInt256(0, 0, 0, count).checkedMultiply(UInt256::powerOfTen(decimals).value()).value();
}

class UniswapOnAnvil : public ::testing::TestWithParam<std::uint64_t> {
protected:
    void SetUp() override {
        if (!AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
        }
        chain = chainOf(GetParam());
        node = std::make_unique<AnvilNode>(GetParam());
        uniswap = std::make_unique<UniswapV3Fixture>(*node, chain);
        client = std::make_shared<JSONRPCClient>(node->url());
    }

    SwapToken usdc() const { return {"USDC", uniswap->usdc(), 6, false}; }
    SwapToken dai() const { return {"DAI", uniswap->dai(), 18, false}; }
    SwapToken native() const { return SwapToken::native(chain); }

    SwapQuote quote(const SwapToken& in, const SwapToken& out, const UInt256& amount) {
        return runTask(uniswapQuote(in, out, amount, 50, chain, client));
    }

    Chain chain = Chain::ethereum;
    std::unique_ptr<AnvilNode> node;
    std::unique_ptr<UniswapV3Fixture> uniswap;
    std::shared_ptr<JSONRPCClient> client;
};

TEST_P(UniswapOnAnvil, TheQuoterTriesTheTiersInOrder) {
    // The periphery computes pool addresses with the hash of the code the factory deploys.
    EXPECT_EQ(UniswapV3Fixture::poolCreationCodeHash(),
              "0xe34f199b19b2b4f47f68442619d555527d244f78a3297ea89325f843f87b8b54");
    EXPECT_EQ(UniswapV3Fixture::peripheryInitCodeHash(), UniswapV3Fixture::poolCreationCodeHash());

    // USDC/DAI has only a 0.05 % pool: the quoter reverts for 0.3 % and 1 %.
    const Bytes usdcBytes = hexToBytes(uniswap->usdc()).value();
    const Bytes daiBytes = hexToBytes(uniswap->dai()).value();
    for (const std::uint64_t fee : {3000, 10000}) {
        EXPECT_THROW(runTask(client->ethCall(
                         uniswapQuoterAddress,
                         bytesToHex(quoterCalldata(usdcBytes, daiBytes, whole(1, 6), fee)))),
                     JSONRPCClientError)
            << fee;
    }
    const SwapQuote stable = quote(usdc(), dai(), whole(1000, 6));
    EXPECT_EQ(stable.fee, 500u);
    EXPECT_EQ(stable.route, "USDC \u2192 0.05% \u2192 DAI");
    // 1000 USDC into a 1,000,000 : 1,000,000 pool less 0.05 % and the impact: about 998.5 DAI.
    EXPECT_GT(stable.amountOut, whole(998, 18));
    EXPECT_LT(stable.amountOut, whole(999, 18));
    EXPECT_EQ(stable.amountOutMinimum, minimumAmountOut(stable.amountOut, 50));

    const SwapQuote toEther = quote(native(), usdc(), whole(1, 18));
    EXPECT_EQ(toEther.fee, 3000u);
    EXPECT_EQ(toEther.tokenIn, native());

    try {
        quote(usdc(), SwapToken{"LONE", UniswapV3Fixture::lonely, 18, false}, whole(1, 6));
        ADD_FAILURE() << "quoted a pair without a pool";
    } catch (const SwapError& error) {
        EXPECT_EQ(error.kind(), SwapError::Kind::noLiquidity);
    }
}

TEST_P(UniswapOnAnvil, DollarPricesOfWholeTokens) {
    const auto price = [&](const std::string& address, std::int64_t decimals) {
        return runTask(quoteUSDPrice(Token{address, "T", "T", decimals, chain}, client));
    };
    EXPECT_EQ(price(uniswap->usdc(), 6), 1.0);
    // 1 of 10,000 GLD priced at 50 USDC, less 0.3 % and a little impact.
    const std::optional<double> gold = price(UniswapV3Fixture::gold, 18);
    ASSERT_TRUE(gold);
    EXPECT_GT(*gold, 49.8);
    EXPECT_LT(*gold, 49.9);
    // 24 decimals: one whole token is 10^24 base units, about 3 dollars.
    const std::optional<double> micro = price(UniswapV3Fixture::micro, 24);
    ASSERT_TRUE(micro);
    EXPECT_GT(*micro, 2.99);
    EXPECT_LT(*micro, 3.0);
    const std::optional<double> ether = price(uniswap->weth(), 18);
    ASSERT_TRUE(ether);
    EXPECT_GT(*ether, 1970.0);
    EXPECT_LT(*ether, 1994.0);
    EXPECT_EQ(price(UniswapV3Fixture::lonely, 18), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Chains, UniswapOnAnvil, ::testing::Values(1u, 42161u, 137u),
                         [](const auto& info) { return "chain" + std::to_string(info.param); });

} // namespace
} // namespace qm
