// The swap tables and texts, the router's call data, and quoting over the fee tiers against a
// scripted node. The deployed contracts answer in UniswapAnvil_tests; ethers decodes the call
// data in the swap peer.
#include "HttpFixture.h"
#include "RunTask.h"
#include "TestHex.h"
#include "core/encoding/Hex.h"
#include "services/evm/JSONRPCClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"
#include "services/swap/UniswapCalldata.h"
#include "services/swap/UniswapQuoter.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <map>

namespace qm {
namespace {

using json = nlohmann::json;
using test::hex;
using test::HttpFixture;
using test::HttpFixtureRequest;
using test::HttpFixtureResponse;
using test::runTask;
using test::unhex;

UInt256 units(std::uint64_t value) {
    return UInt256(0, 0, 0, value);
}

const SwapToken usdcEthereum{"USDC", "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", 6, false};
const SwapToken daiEthereum{"DAI", "0x6B175474E89094C44Da98b954EedeAC495271d0F", 18, false};

TEST(SwapModel, TokensTablesAndTexts) {
    SwapToken lower = usdcEthereum;
    lower.address = "0xa0b86991c6218b36c1d19d4a2e9eb0ce3606eb48";
    EXPECT_NE(lower, usdcEthereum);
    EXPECT_EQ(SwapToken::native(Chain::polygon), (SwapToken{"POL", "native", 18, true}));
    EXPECT_EQ(SwapToken::native(Chain::arbitrum), (SwapToken{"ETH", "native", 18, true}));
    EXPECT_EQ(SwapToken::native(Chain::solana), (SwapToken{"SOL", "native", 9, true}));
    EXPECT_EQ(SwapToken::native(Chain::bitcoin), (SwapToken{"BTC", "native", 8, true}));

    EXPECT_TRUE(EVMSwapTokens::tokens(Chain::solana).empty());
    EXPECT_TRUE(EVMSwapTokens::tokens(Chain::bitcoin).empty());
    EXPECT_EQ(EVMSwapTokens::tokens(Chain::ethereum).size(), 7u);
    EXPECT_EQ(EVMSwapTokens::tokens(Chain::arbitrum).at(1).symbol, "USDC.e");
    EXPECT_EQ(EVMSwapTokens::tokens(Chain::polygon).back().address,
              wrappedNativeAddress(Chain::polygon));
    EXPECT_EQ(usdcAddress(Chain::solana), std::nullopt);
    EXPECT_EQ(contractAddress(SwapToken::native(Chain::arbitrum), Chain::arbitrum),
              "0x82aF49447D8a07e3bd95BD0d56f35241523fBab1");

    EXPECT_STREQ(SwapError::noLiquidity().what(), "No liquidity for this pair");
    EXPECT_STREQ(SwapError::invalidToken().what(), "Invalid token");
    EXPECT_STREQ(SwapError::insufficientBalance().what(), "Insufficient balance");
    EXPECT_STREQ(SwapError::jupiterError("No response").what(), "Jupiter: No response");
    EXPECT_STREQ(SwapError::transactionFailed("Empty TX").what(), "Failed: Empty TX");
    EXPECT_EQ(SwapError::transactionFailed("Empty TX").message(), "Empty TX");

    const std::map<std::uint64_t, std::string> labels = {
        {100, "0.01%"},  {500, "0.05%"}, {3000, "0.3%"}, {10000, "1%"},
        {2500, "0.25%"}, {1, "0.0001%"}, {20000, "2%"}};
    for (const auto& [fee, label] : labels) {
        EXPECT_EQ(feeTierLabel(fee), label) << fee;
    }
}

TEST(SwapModel, PublishedSelectors) {
    EXPECT_EQ(hex(quoteExactInputSingleSelector()), "c6a5026a");
    EXPECT_EQ(hex(exactInputSingleSelector()), "04e45aaf");
    EXPECT_EQ(hex(multicallSelector()), "5ae401dc");
    EXPECT_EQ(hex(unwrapWETH9Selector()), "49404b7c");
}

TEST(SwapModel, MinimumOutputIsExactAtEveryWidth) {
    EXPECT_EQ(minimumAmountOut(units(1'000'000), 50), units(995'000));
    EXPECT_EQ(minimumAmountOut(units(1'000'000), 0), units(1'000'000));
    EXPECT_EQ(minimumAmountOut(units(1'000'000), 10000), UInt256());
    EXPECT_EQ(minimumAmountOut(units(9'999), 1), units(9'998)); // floor of 9998.0001
    // Out of range slippage is taken at the nearest bound.
    EXPECT_EQ(minimumAmountOut(units(7), -5), units(7));
    EXPECT_EQ(minimumAmountOut(units(7), 20000), UInt256());
    // Above 2^64 the whole value scales: 2^192 * 9950 / 10000, not its leading bytes.
    const UInt256 big(1, 0, 0, 0);
    EXPECT_EQ(minimumAmountOut(big, 50),
              big.checkedMultiplyDivide(units(9950), units(10000)).value());
    EXPECT_EQ(minimumAmountOut(UInt256::max(), 50),
              UInt256::fromHex("0xfeb851eb851eb851eb851eb851eb851eb851eb851eb851eb851eb851eb851eb7")
                  .value());
}

TEST(SwapCalldata, TheThreeShapes) {
    const Bytes user = unhex("1111111111111111111111111111111111111111");
    const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));
    SwapQuote quote{units(5'000'000),
                    units(2'000'000'000'000'000),
                    units(1'990'000'000'000'000),
                    {"USDC", "0xaf88d065e77c8cC2239327C5EDb3A432268e5831", 6, false},
                    SwapToken::native(Chain::arbitrum),
                    500,
                    "USDC \u2192 0.05% \u2192 ETH"};

    // USDC to ETH on Arbitrum: multicall of the swap to the router itself, then the unwrap.
    RouterCall call = uniswapSwapCalldata(quote, user, Chain::arbitrum, now);
    EXPECT_EQ(hex(call.router), "68b3465833fb72a70ecdf485e0e4c7bd8665fc45");
    EXPECT_EQ(call.value, UInt256());
    ASSERT_EQ(call.data.size(), 580u);
    const auto word = [&](std::size_t offset) {
        return UInt256::fromBigEndianBytes(ByteView(call.data.data() + offset, 32));
    };
    EXPECT_EQ(hex(Bytes(call.data.begin(), call.data.begin() + 4)), "5ae401dc");
    EXPECT_EQ(word(4), units(1'700'001'200));
    EXPECT_EQ(word(36), units(64));
    EXPECT_EQ(word(68), units(2));
    EXPECT_EQ(word(100), units(64));
    EXPECT_EQ(word(132), units(352));
    EXPECT_EQ(word(164), units(228));
    const std::size_t first = 196;
    EXPECT_EQ(hex(Bytes(call.data.begin() + first, call.data.begin() + first + 4)), "04e45aaf");
    EXPECT_EQ(word(first + 36), UInt256::fromBigEndianBytes(
                                    hexToBytes(wrappedNativeAddress(Chain::arbitrum)).value()));
    EXPECT_EQ(word(first + 100), units(2)); // the router keeps the wrapped coin
    EXPECT_EQ(word(first + 132), units(5'000'000));
    EXPECT_EQ(word(first + 164), units(1'990'000'000'000'000));
    // 228 bytes padded to 256, then the unwrap: its length, selector, minimum, the user.
    const std::size_t second = first + 256;
    EXPECT_EQ(word(second), units(68));
    EXPECT_EQ(hex(Bytes(call.data.begin() + second + 32, call.data.begin() + second + 36)),
              "49404b7c");
    EXPECT_EQ(word(second + 36), units(1'990'000'000'000'000));
    EXPECT_EQ(word(second + 68), UInt256::fromBigEndianBytes(user));
    EXPECT_EQ(Bytes(call.data.end() - 28, call.data.end()), Bytes(28, 0));

    // ETH to USDC on Ethereum: one exactInputSingle to the user, the amount attached.
    quote.tokenIn = SwapToken::native(Chain::ethereum);
    quote.tokenOut = usdcEthereum;
    call = uniswapSwapCalldata(quote, user, Chain::ethereum, now);
    ASSERT_EQ(call.data.size(), 228u);
    EXPECT_EQ(hex(Bytes(call.data.begin(), call.data.begin() + 4)), "04e45aaf");
    EXPECT_EQ(word(4), UInt256::fromBigEndianBytes(
                           hexToBytes(wrappedNativeAddress(Chain::ethereum)).value()));
    EXPECT_EQ(word(68), units(500));
    EXPECT_EQ(word(100), UInt256::fromBigEndianBytes(user));
    EXPECT_EQ(word(196), UInt256());
    EXPECT_EQ(call.value, units(5'000'000));

    // Token to token on Polygon: nothing attached.
    quote.tokenIn = {"USDC", "0x3c499c542cEF5E3811e1192ce70d8cC03d5c3359", 6, false};
    quote.tokenOut = {"DAI", "0x8f3Cf7ad23Cd3CaDbD9735AFf958023239c6A063", 18, false};
    call = uniswapSwapCalldata(quote, user, Chain::polygon, now);
    EXPECT_EQ(call.data.size(), 228u);
    EXPECT_EQ(call.value, UInt256());

    // Offsets of inner calls whose lengths are already multiples of 32, and of none.
    const Bytes inner = multicallCalldata(9, {Bytes(32, 1), Bytes(64, 2)});
    EXPECT_EQ(inner.size(), 4u + 3 * 32 + 2 * 32 + (32 + 32) + (32 + 64));
    EXPECT_EQ(multicallCalldata(9, {}).size(), 4u + 3 * 32);
}

// A node whose quoter answers per fee tier (read from the call data): "revert", a number, or a
// raw result text.
struct TierNode {
    std::map<std::uint64_t, std::string> answers;
    std::vector<std::uint64_t> asked;
    std::vector<Bytes> calls;
    HttpFixture server;

    explicit TierNode(std::map<std::uint64_t, std::string> byTier) : answers(std::move(byTier)) {
        server.setHandler([this](const HttpFixtureRequest& request) {
            const json body = json::parse(request.body.toStdString());
            const Bytes data = hexToBytes(body["params"][0]["data"].get<std::string>()).value();
            calls.push_back(data);
            const std::uint64_t fee =
                UInt256::fromBigEndianBytes(ByteView(data.data() + 100, 32)).w3;
            asked.push_back(fee);
            json reply = {{"jsonrpc", "2.0"}, {"id", body["id"]}};
            const std::string answer = answers.count(fee) ? answers[fee] : "revert";
            if (answer == "revert") {
                reply["error"] = {{"code", 3}, {"message", "execution reverted"}};
            } else if (answer.starts_with("0x")) {
                reply["result"] = answer;
            } else {
                reply["result"] = bytesToHex(UInt256::fromDecimalString(answer).bigEndianWord()) +
                                  std::string(192, '0'); // the quoter's three further words
            }
            return HttpFixtureResponse::json(QByteArray::fromStdString(reply.dump()));
        });
    }
    std::shared_ptr<JSONRPCClient> client() {
        return std::make_shared<JSONRPCClient>(server.url());
    }
};

TEST(UniswapQuote, TheFirstTierWithANonZeroAnswerWins) {
    TierNode node({{10000, "0"}, {500, "1234567"}, {100, "9999999"}});
    const SwapQuote quote =
        runTask(uniswapQuote(SwapToken::native(Chain::ethereum), usdcEthereum,
                             units(10'000'000'000'000'000), 50, Chain::ethereum, node.client()));
    EXPECT_EQ(node.asked, (std::vector<std::uint64_t>{3000, 10000, 500}));
    EXPECT_EQ(quote.fee, 500u);
    EXPECT_EQ(quote.route, "ETH \u2192 0.05% \u2192 USDC");
    EXPECT_EQ(quote.amountOut, units(1234567));
    EXPECT_EQ(quote.amountOutMinimum, units(1228394));
    EXPECT_EQ(quote.tokenIn, SwapToken::native(Chain::ethereum));
    EXPECT_EQ(quote.amountIn, units(10'000'000'000'000'000));
    // The quoter was asked for wrapped ether, in the 164-byte layout.
    const Bytes& sent = node.calls.at(0);
    ASSERT_EQ(sent.size(), 164u);
    EXPECT_EQ(hex(Bytes(sent.begin(), sent.begin() + 4)), "c6a5026a");
    EXPECT_EQ(hex(Bytes(sent.begin() + 16, sent.begin() + 36)),
              "c02aaa39b223fe8d0a0e5c4f27ead9083c756cc2");
    EXPECT_EQ(hex(Bytes(sent.begin() + 48, sent.begin() + 68)),
              "a0b86991c6218b36c1d19d4a2e9eb0ce3606eb48");
    EXPECT_EQ(UInt256::fromBigEndianBytes(ByteView(sent.data() + 68, 32)),
              units(10'000'000'000'000'000));
    EXPECT_EQ(Bytes(sent.begin() + 132, sent.end()), Bytes(32, 0));
}

TEST(UniswapQuote, FailuresOfEveryKind) {
    // Reverts, a zero, a short answer and a non-hex answer: no liquidity after four requests.
    TierNode node({{10000, "0"}, {500, "0x1234"}, {100, "0xzz"}});
    try {
        runTask(
            uniswapQuote(usdcEthereum, daiEthereum, units(1), 50, Chain::ethereum, node.client()));
        ADD_FAILURE() << "quoted";
    } catch (const SwapError& error) {
        EXPECT_EQ(error.kind(), SwapError::Kind::noLiquidity);
    }
    EXPECT_EQ(node.asked.size(), 4u);

    // A node that never answers (every request refused by its HTTP status) is not a pair
    // without liquidity: its own failure is reported.
    TierNode down({});
    down.server.setHandler(
        [](const HttpFixtureRequest&) { return HttpFixtureResponse::withStatus(503); });
    try {
        runTask(
            uniswapQuote(usdcEthereum, daiEthereum, units(1), 50, Chain::ethereum, down.client()));
        ADD_FAILURE() << "quoted";
    } catch (const JSONRPCClientError& error) {
        EXPECT_EQ(error.kind(), JSONRPCClientError::Kind::httpError);
        EXPECT_EQ(error.httpStatus(), 503);
    }
    EXPECT_EQ(down.server.requests().size(), 4u);

    // An unusable address fails before any request.
    TierNode silent({});
    for (const std::string& address : {std::string("0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB"),
                                       std::string("USDC"), std::string("native")}) {
        SwapToken bad = usdcEthereum;
        bad.address = address;
        try {
            runTask(uniswapQuote(bad, daiEthereum, units(1), 50, Chain::ethereum, silent.client()));
            ADD_FAILURE() << address;
        } catch (const SwapError& error) {
            EXPECT_EQ(error.kind(), SwapError::Kind::invalidToken);
        }
    }
    EXPECT_TRUE(silent.server.requests().empty());

    // A cancelled quote stops at once with the aborted request's failure.
    TierNode stalled({});
    stalled.server.setHandler(
        [](const HttpFixtureRequest&) { return HttpFixtureResponse::stalling(); });
    CancellationToken cancel;
    QTimer::singleShot(50, [cancel] { cancel.cancel(); });
    EXPECT_THROW(runTask(uniswapQuote(usdcEthereum, daiEthereum, units(1), 50, Chain::ethereum,
                                      stalled.client(), cancel)),
                 HttpTransportError);
    EXPECT_EQ(stalled.server.requests().size(), 1u);
}

Token erc20(std::string address, std::int64_t decimals, Chain chain = Chain::ethereum) {
    return Token{std::move(address), "T", "Token", decimals, chain};
}

TEST(UniswapPrice, StablecoinsOneWholeTokenAndNoPrice) {
    TierNode node({{3000, "2500000000"}});
    // Stablecoins in any letter case, on any chain: one dollar without a request.
    for (const Token& stable :
         {erc20("0xc2132d05d31c914a87c6611c10748aeb04b58e8f", 6, Chain::polygon),
          erc20("0xA0B86991C6218B36C1D19D4A2E9EB0CE3606EB48", 6),
          erc20("0xdA10009cBd5D07dd0CeCc66161FC93D7c9000da1", 18)}) {
        EXPECT_EQ(runTask(quoteUSDPrice(stable, node.client())), 1.0) << stable.contractAddress;
    }
    EXPECT_TRUE(node.asked.empty());

    const std::string token = "0x514910771AF9Ca656af840dff83E8264EcF986CA";
    EXPECT_EQ(runTask(quoteUSDPrice(erc20(token, 6), node.client())), 2500.0);
    // One whole token at every width: 10^6, 10^24 (not 10^18), 10^77.
    for (const std::int64_t decimals : {6, 24, 77}) {
        node.calls.clear();
        runTask(quoteUSDPrice(erc20(token, decimals), node.client()));
        ASSERT_EQ(node.calls.size(), 1u);
        EXPECT_EQ(UInt256::fromBigEndianBytes(ByteView(node.calls[0].data() + 68, 32)),
                  UInt256::powerOfTen(static_cast<unsigned>(decimals)).value());
        EXPECT_EQ(hex(Bytes(node.calls[0].begin() + 48, node.calls[0].begin() + 68)),
                  "a0b86991c6218b36c1d19d4a2e9eb0ce3606eb48");
    }
    node.calls.clear();
    // No price: 10^78 does not fit, negative decimals, a bad address, no USDC on the chain, no
    // tier answering.
    for (const Token& unpriced :
         {erc20(token, 78), erc20(token, -1), erc20("0x1234", 6),
          erc20("So11111111111111111111111111111111111111112", 9, Chain::solana)}) {
        EXPECT_EQ(runTask(quoteUSDPrice(unpriced, node.client())), std::nullopt)
            << unpriced.contractAddress << " " << unpriced.decimals;
    }
    EXPECT_TRUE(node.calls.empty());
    TierNode dry({});
    EXPECT_EQ(runTask(quoteUSDPrice(erc20(token, 18), dry.client())), std::nullopt);
    EXPECT_EQ(dry.asked, (std::vector<std::uint64_t>{3000, 10000, 500, 100}));
}

} // namespace
} // namespace qm
