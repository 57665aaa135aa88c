// The token picker's rows: the search over symbol and address, the second line, the marked
// row, and a list model that moves rows rather than resetting.

#include "services/solana/SPLToken.h"
#include "services/swap/EVMSwapTokens.h"
#include "ui/swap/SwapTokenListModel.h"
#include "ui/swap/SwapTokenVariant.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace qm {
namespace {

std::vector<SwapToken> arbitrumTokens() {
    std::vector<SwapToken> tokens = {SwapToken::native(Chain::arbitrum)};
    for (const auto& token : EVMSwapTokens::tokens(Chain::arbitrum)) {
        tokens.push_back({token.symbol, token.address, token.decimals, false});
    }
    return tokens;
}

std::vector<std::string> symbols(const std::vector<SwapToken>& tokens) {
    std::vector<std::string> out;
    for (const SwapToken& token : tokens) {
        out.push_back(token.symbol);
    }
    return out;
}

QVariantList variants(const std::vector<SwapToken>& tokens) {
    QVariantList list;
    for (const SwapToken& token : tokens) {
        list.push_back(swapTokenToVariant(token));
    }
    return list;
}

TEST(SwapTokenPicker, SearchesSymbolsAndAddressesOnly) {
    const std::vector<SwapToken> tokens = arbitrumTokens();
    EXPECT_EQ(filterSwapTokens(tokens, ""), tokens);
    // Names are not searched ("Dai Stablecoin" holds no "usd"), letter case does not matter.
    EXPECT_EQ(symbols(filterSwapTokens(tokens, "usd")),
              (std::vector<std::string>{"USDC", "USDC.e", "USDT"}));
    EXPECT_EQ(symbols(filterSwapTokens(tokens, "0XAF88")), (std::vector<std::string>{"USDC"}));
    // The native coin's address is "native"; blanks are not trimmed.
    EXPECT_EQ(symbols(filterSwapTokens(tokens, "nat")), (std::vector<std::string>{"ETH"}));
    EXPECT_TRUE(filterSwapTokens(tokens, " usdc").empty());
    EXPECT_TRUE(filterSwapTokens(tokens, "Stablecoin").empty());
}

TEST(SwapTokenPicker, SecondLines) {
    EXPECT_EQ(swapTokenDetail(SwapToken::native(Chain::solana)), "Native");
    EXPECT_EQ(swapTokenDetail({"USDC", "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", 6, false}),
              "0xA0b8...eB48");
    const SPLTokenList::TokenInfo& usdc = SPLTokenList::knownTokens()[0];
    ASSERT_EQ(usdc.mint.size(), 44u);
    EXPECT_EQ(swapTokenDetail({usdc.symbol, usdc.mint, usdc.decimals, false}),
              QString::fromStdString(usdc.mint.substr(0, 6) + "..." + usdc.mint.substr(40)));
    // 16 characters stay whole, 17 are shortened.
    EXPECT_EQ(swapTokenDetail({"A", "0123456789abcdef", 0, false}), "0123456789abcdef");
    EXPECT_EQ(swapTokenDetail({"A", "0123456789abcdefg", 0, false}), "012345...defg");
}

TEST(SwapTokenPicker, RowsFollowTheSearchAndMarkTheSelection) {
    SwapTokenListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    const std::vector<SwapToken> tokens = arbitrumTokens();
    model.setTokens(variants(tokens));
    ASSERT_EQ(model.count(), 8);
    const auto role = [&](int row, int r) { return model.data(model.index(row), r); };
    EXPECT_EQ(role(0, SwapTokenListModel::DetailRole), "Native");
    EXPECT_EQ(role(1, SwapTokenListModel::SymbolRole), "USDC");

    // The selection is the token of all four fields: the same address with other decimals is
    // another token.
    SwapToken usdc = tokens[1];
    usdc.decimals = 18;
    model.setSelectedToken(swapTokenToVariant(usdc));
    EXPECT_FALSE(role(1, SwapTokenListModel::SelectedRole).toBool());
    model.setSelectedToken(swapTokenToVariant(tokens[1]));
    EXPECT_TRUE(role(1, SwapTokenListModel::SelectedRole).toBool());
    EXPECT_FALSE(role(2, SwapTokenListModel::SelectedRole).toBool());
    model.setSelectedToken(QVariantMap());
    EXPECT_FALSE(role(1, SwapTokenListModel::SelectedRole).toBool());

    model.setSearchText("usd");
    EXPECT_EQ(model.count(), 3);
    EXPECT_EQ(model.token(2).value("symbol"), "USDT");
    EXPECT_EQ(swapTokenFromVariant(model.token(0)), tokens[1]);
    EXPECT_TRUE(model.token(3).isEmpty());
    model.setSearchText("nothing like it");
    EXPECT_EQ(model.count(), 0);
    model.setSearchText("");
    EXPECT_EQ(model.count(), 8);
    EXPECT_EQ(resets.count(), 0);
}

} // namespace
} // namespace qm
