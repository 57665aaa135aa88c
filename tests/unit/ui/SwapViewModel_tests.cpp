// The swap view model's quoting: the token lists, exact amounts, quotes that hold only for the
// inputs they answer, and the display texts. Quotes come from a scripted quoter here; the
// deployed contracts answer in the swap flow's tests.

#include "LocaleScope.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "services/solana/SPLToken.h"
#include "services/swap/EVMSwapTokens.h"
#include "state/AppState.h"
#include "ui/swap/SwapViewModel.h"

#include <QTest>
#include <gtest/gtest.h>

namespace qm {
namespace {

using json = nlohmann::json;
using test::HttpFixtureRequest;
using test::HttpFixtureResponse;
using test::RefreshFixture;
using test::runTask;

const SwapToken usdc{"USDC", "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", 6, false};
const SwapToken ether = SwapToken::native(Chain::ethereum);

UInt256 units(std::uint64_t value) {
    return UInt256(0, 0, 0, value);
}

EVMAccountState evmAccount(int index, std::vector<std::pair<Token, double>> held) {
    EVMAccountState account;
    account.account = {"eth-" + std::to_string(index), Chain::ethereum, index,
                       "0x000000000000000000000000000000000000000" + std::to_string(index),
                       "m/44'/60'/0'/0/0"};
    for (auto& [token, balance] : held) {
        TokenBalance entry;
        entry.token = token;
        entry.balanceFormatted = balance;
        account.tokens.push_back(entry);
    }
    return account;
}

TEST(SwapViewModel, TheTokensOfEachChain) {
    RefreshFixture env;
    const Token gold{"0x000000000000000000000000000000000000601d", "GLD", "Gold", 18,
                     Chain::ethereum};
    const Token dust{"0x00000000000000000000000000000000000000d5", "DST", "Dust", 18,
                     Chain::ethereum};
    const Token listedUSDT{"0xdAC17F958D2ee523a2206206994597C13D831ec7", "USDT", "Tether USD", 6,
                           Chain::ethereum};
    Token lowerUSDT = listedUSDT;
    lowerUSDT.contractAddress = "0xdac17f958d2ee523a2206206994597c13d831ec7";
    env.state().setEVMAccounts(Chain::ethereum,
                               {evmAccount(0, {{gold, 2}, {dust, 0}, {listedUSDT, 1}}),
                                evmAccount(1, {{gold, 5}, {lowerUSDT, 3}})});
    const std::vector<SwapToken> list =
        SwapViewModel::availableTokens(Chain::ethereum, env.state());
    std::vector<std::string> symbols;
    for (const SwapToken& token : list) {
        symbols.push_back(token.symbol);
    }
    // Held first (once each; another letter case is another token), then the table without
    // the USDT already listed.
    EXPECT_EQ(symbols, (std::vector<std::string>{"ETH", "GLD", "USDT", "USDT", "USDC", "DAI",
                                                 "WBTC", "WETH", "LINK", "UNI"}));
    EXPECT_EQ(list[0], ether);
    EXPECT_EQ(list[3].address, lowerUSDT.contractAddress);
    EXPECT_FALSE(list[1].isNative);

    SolanaAccountState solana;
    solana.tokens.push_back(
        {"MintWithNothingLeft1111111111111111111111111", "ZERO", "Zero", 4, 0, std::nullopt});
    env.state().setSolanaAccounts({solana});
    const std::vector<SwapToken> onSolana =
        SwapViewModel::availableTokens(Chain::solana, env.state());
    ASSERT_EQ(onSolana.size(), 1u + 1u + 6u);
    EXPECT_EQ(onSolana[0], SwapToken::native(Chain::solana));
    EXPECT_EQ(onSolana[1].symbol, "ZERO");
    for (const SwapToken& token : onSolana) {
        EXPECT_NE(token.address, wrappedSOLMint);
    }
    EXPECT_EQ(SwapViewModel::availableTokens(Chain::bitcoin, env.state()),
              std::vector<SwapToken>{SwapToken::native(Chain::bitcoin)});

    SwapViewModel model;
    model.setAppState(&env.state());
    EXPECT_EQ(model.property("availableTokens").toList().size(),
              static_cast<qsizetype>(list.size()));
    model.selectTokenIn(1);
    EXPECT_EQ(model.tokenIn(), list[1]);
    model.selectTokenIn(99);
    EXPECT_EQ(model.tokenIn(), std::nullopt);
}

// What a freshly shown screen starts with, and the texts and choices it hands the model.
TEST(SwapViewModel, DefaultSidesSlippageTextsAndChoices) {
    RefreshFixture env;
    SwapViewModel model;
    model.setAppState(&env.state());
    // The first "USDC" offered, third here (a held token of that symbol before the listed
    // one), not the second token.
    const Token gold{"0x000000000000000000000000000000000000601d", "GLD", "Gold", 18,
                     Chain::ethereum};
    const Token fakeUSDC{"0x00000000000000000000000000000000000000fa", "USDC", "Fake", 6,
                         Chain::ethereum};
    env.state().setEVMAccounts(Chain::ethereum, {evmAccount(0, {{gold, 2}, {fakeUSDC, 1}})});
    model.setChain(Chain::ethereum);
    model.chooseDefaultTokens();
    EXPECT_EQ(model.tokenIn(), ether);
    EXPECT_EQ(model.tokenOut()->address, fakeUSDC.contractAddress);
    // Polygon's list has USDC second; Bitcoin offers one token: the output stays unchanged.
    model.setChain(Chain::polygon);
    model.chooseDefaultTokens();
    EXPECT_EQ(model.tokenIn(), SwapToken::native(Chain::polygon));
    EXPECT_EQ(model.tokenOut()->symbol, "USDC");
    const std::optional<SwapToken> polygonUSDC = model.tokenOut();
    model.setChain(Chain::bitcoin);
    model.chooseDefaultTokens();
    EXPECT_EQ(model.tokenIn(), SwapToken::native(Chain::bitcoin));
    EXPECT_EQ(model.tokenOut(), polygonUSDC);
    EXPECT_FALSE(model.executeSwap()); // no swap on Bitcoin
    EXPECT_EQ(model.chainName(), "Bitcoin");

    // A picker's choice as QML hands it over; anything else clears the side.
    model.setTokenInMap({{"symbol", "DAI"},
                         {"address", "0x6B175474E89094C44Da98b954EedeAC495271d0F"},
                         {"decimals", 18},
                         {"isNative", false}});
    EXPECT_EQ(model.tokenIn()->symbol, "DAI");
    EXPECT_EQ(model.tokenIn()->decimals, 18);
    model.setTokenInMap({});
    EXPECT_EQ(model.tokenIn(), std::nullopt);

    const std::vector<std::pair<int, const char*>> texts = {
        {10, "0.1%"}, {50, "0.5%"}, {100, "1%"}, {300, "3%"}, {150, "1.5%"}, {0, "0%"}};
    for (const auto& [bps, text] : texts) {
        EXPECT_EQ(SwapViewModel::slippageText(bps), text) << bps;
    }
    model.setSlippageBps(300);
    EXPECT_EQ(model.property("slippageText").toString(), "3%");
}

// A quoter at the fixture's JSON-RPC address: every tier answers amountIn / 1000 (so each
// answer names the amount it was asked for), after `delayMs`.
struct ScriptedQuoter {
    RefreshFixture env;
    int delayMs = 0;
    std::vector<UInt256> askedAmounts;

    ScriptedQuoter() {
        env.rpc().setHandler([this](const HttpFixtureRequest& request) {
            const json body = json::parse(request.body.toStdString());
            const Bytes data = hexToBytes(body["params"][0]["data"].get<std::string>()).value();
            const UInt256 amount = UInt256::fromBigEndianBytes(ByteView(data.data() + 68, 32));
            askedAmounts.push_back(amount);
            const UInt256 out = amount.checkedMultiplyDivide(units(1), units(1000)).value();
            HttpFixtureResponse response = HttpFixtureResponse::json(QByteArray::fromStdString(json{
                {"jsonrpc", "2.0"},
                {"id", body["id"]},
                {"result", bytesToHex(out.bigEndianWord())}}.dump()));
            if (delayMs > 0) {
                response.behaviour = HttpFixtureResponse::Behaviour::delay;
                response.delayMs = delayMs;
            }
            return response;
        });
    }
};

TEST(SwapViewModel, OnlyExactAmountsAboveZeroAreQuoted) {
    ScriptedQuoter quoter;
    SwapViewModel model;
    model.setAppState(&quoter.env.state());
    model.setTokenIn(ether);
    model.setTokenOut(usdc);
    for (const char* text : {"0", "", "abc", " 1", "-1", "0x10", "0.000"}) {
        model.setAmountInString(text);
        runTask(model.fetchQuote());
        EXPECT_FALSE(model.hasQuote()) << text;
        EXPECT_EQ(model.quoteError(), std::nullopt) << text;
        EXPECT_FALSE(model.canSwap()) << text;
    }
    EXPECT_TRUE(quoter.askedAmounts.empty());

    // More fraction digits than the token has, or more than 256 bits: said, and not sent.
    model.setTokenIn(usdc);
    model.setTokenOut(ether);
    model.setAmountInString("1.0000001");
    runTask(model.fetchQuote());
    EXPECT_EQ(model.quoteErrorText(), "Too many decimal places");
    model.setAmountInString("1e80");
    runTask(model.fetchQuote());
    EXPECT_EQ(model.quoteErrorText(), "The amount is too large");
    EXPECT_TRUE(quoter.askedAmounts.empty());
    // A comma where the user's locale writes a point: the separator to use.
    {
        test::LocaleScope english("en_US");
        model.setAmountInString("1,5");
        runTask(model.fetchQuote());
        EXPECT_EQ(model.quoteErrorText(), "Use a point as the decimal separator");
        EXPECT_TRUE(quoter.askedAmounts.empty());
    }

    // "0.1" of an 18-decimal coin is 10^17 base units exactly, and so is "1e-1".
    model.setTokenIn(ether);
    model.setTokenOut(usdc);
    for (const char* text : {"0.1", "1e-1", "0.10"}) {
        model.setAmountInString(text);
        runTask(model.fetchQuote());
        ASSERT_TRUE(model.hasQuote()) << text;
        EXPECT_EQ(model.currentQuote()->amountIn, units(100'000'000'000'000'000)) << text;
        EXPECT_EQ(quoter.askedAmounts.back(), units(100'000'000'000'000'000)) << text;
        EXPECT_TRUE(model.canSwap());
    }
    EXPECT_EQ(model.currentQuote()->fee, 3000u);
    EXPECT_EQ(model.expectedOutputText(), "100000000.00"); // 10^14 base units of a 6-decimal token
    // The review reads every digit: the amount as it will be sent, the output unrounded.
    EXPECT_EQ(model.exactAmountInText(), "0.1");
    EXPECT_EQ(model.exactOutputText(), "100000000");
    EXPECT_EQ(model.contractAddress(), QString::fromStdString(uniswapRouterAddress));

    // Under de_DE the comma is the decimal point: the same 10^17 base units.
    test::LocaleScope german("de_DE");
    model.setAmountInString("0,1");
    runTask(model.fetchQuote());
    ASSERT_TRUE(model.hasQuote());
    EXPECT_EQ(model.currentQuote()->amountIn, units(100'000'000'000'000'000));
    EXPECT_EQ(model.exactAmountInText(), "0.1");
}

// A node that cannot be reached is named as the user knows it, not in the network library's
// words ("Connection closed", "Host ... not found").
TEST(SwapViewModel, AnUnreachableNodeIsNamed) {
    RefreshFixture env;
    env.rpc().setHandler([](const HttpFixtureRequest&) {
        HttpFixtureResponse closed;
        closed.behaviour = HttpFixtureResponse::Behaviour::close;
        return closed;
    });
    SwapViewModel model;
    model.setAppState(&env.state());
    model.setTokenIn(ether);
    model.setTokenOut(usdc);
    model.setAmountInString("1");
    runTask(model.fetchQuote());
    EXPECT_FALSE(model.hasQuote());
    EXPECT_EQ(model.quoteErrorText(), "Cannot connect to Ethereum RPC");
}

TEST(SwapViewModel, AQuoteHoldsOnlyForTheInputsItAnswers) {
    ScriptedQuoter quoter;
    SwapViewModel model;
    model.setAppState(&quoter.env.state());
    model.setTokenIn(usdc);
    model.setTokenOut(ether);
    model.setAmountInString("2");
    runTask(model.fetchQuote());
    ASSERT_TRUE(model.hasQuote());
    EXPECT_EQ(model.currentQuote()->amountOutMinimum, units(1990)); // 2000 less 0.5 %

    // Every edit after the quote drops it: no swap until a quote for the new inputs arrives.
    const std::vector<std::function<void()>> edits = {
        [&] { model.setAmountInString("3"); },
        [&] { model.setSlippageBps(100); },
        [&] {
            model.setTokenOut(
                SwapToken{"DAI", "0x6B175474E89094C44Da98b954EedeAC495271d0F", 18, false});
        },
        [&] { model.setChain(Chain::polygon); },
    };
    for (std::size_t i = 0; i < edits.size(); ++i) {
        runTask(model.fetchQuote());
        ASSERT_TRUE(model.hasQuote()) << i;
        edits[i]();
        EXPECT_FALSE(model.hasQuote()) << i;
        EXPECT_FALSE(model.canSwap()) << i;
    }
    model.setChain(Chain::ethereum);
    model.setTokenOut(ether);
    model.setAmountInString("3");
    runTask(model.fetchQuote());
    EXPECT_EQ(model.currentQuote()->amountOutMinimum, units(2970)); // 3000 less 1 %

    // An answer that arrives after the amount changed is thrown away; the one for the new
    // amount lands.
    quoter.delayMs = 150;
    model.requestQuote();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.isQuoting(); }, 5'000));
    model.setAmountInString("4");
    EXPECT_FALSE(model.isQuoting());
    QTest::qWait(300);
    EXPECT_FALSE(model.hasQuote());
    model.requestQuote();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.hasQuote(); }, 5'000));
    EXPECT_EQ(model.currentQuote()->amountIn, units(4'000'000));
    // Two requests for the same inputs: the later one wins, the earlier one was cancelled.
    const std::size_t asked = quoter.askedAmounts.size();
    model.requestQuote();
    model.requestQuote();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isQuoting() && model.hasQuote(); }, 5'000));
    QTest::qWait(300);
    EXPECT_EQ(quoter.askedAmounts.size(), asked + 1);
}

TEST(SwapViewModel, FlipAndTheAmountTexts) {
    ScriptedQuoter quoter;
    SwapViewModel model;
    model.setAppState(&quoter.env.state());
    model.setTokenIn(usdc);
    model.setAmountInString("5");
    model.flipTokens();
    EXPECT_EQ(model.tokenIn(), std::nullopt);
    EXPECT_EQ(model.tokenOut(), usdc);
    EXPECT_EQ(model.amountInString(), "");
    EXPECT_EQ(model.expectedOutputText(), "");

    const UInt256 eighteen = UInt256::powerOfTen(18).value();
    EXPECT_EQ(SwapViewModel::formatAmount(eighteen.checkedMultiply(units(20)).value(), 18),
              "20.0000");
    EXPECT_EQ(SwapViewModel::formatAmount(units(5'000'000'000'000'000), 18), "0.005000");
    EXPECT_EQ(SwapViewModel::formatAmount(units(1'234'500'000), 6), "1234.50");
    EXPECT_EQ(SwapViewModel::formatAmount(UInt256(), 18), "0");
}

} // namespace
} // namespace qm
