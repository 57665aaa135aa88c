#include "services/solana/SPLToken.h"

#include <clocale>
#include <gtest/gtest.h>

using qm::SPLTokenAccountInfo;
using qm::SPLTokenBalance;
using qm::SPLTokenList;

namespace {

SPLTokenBalance holding(std::uint64_t amount, std::uint8_t decimals, std::string symbol) {
    SPLTokenBalance balance;
    balance.amount = amount;
    balance.decimals = decimals;
    balance.symbol = std::move(symbol);
    return balance;
}

} // namespace

TEST(SPLToken, KnownTokensAreFoundByExactMint) {
    const auto jup = SPLTokenList::token("JUPyiwrYJFskUPiHa7hkeR8VUtAeFoSYbKedZNsDvCN");
    ASSERT_TRUE(jup);
    EXPECT_EQ(jup->name, "Jupiter");
    EXPECT_EQ(jup->decimals, 6);
    EXPECT_FALSE(SPLTokenList::token("epjfwdd5aufqssqem2qn1xzybapc8g4wegGkZwyTDt1v"));
    EXPECT_FALSE(SPLTokenList::token(""));
}

TEST(SPLToken, HoldingsFromTokenAccounts) {
    SPLTokenAccountInfo account{"P", "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v", "2500000", 9,
                                std::nullopt};
    auto balance = SPLTokenBalance::fromAccount(account);
    ASSERT_TRUE(balance);
    EXPECT_EQ(balance->symbol, "USDC");
    EXPECT_EQ(balance->name, "USD Coin");
    EXPECT_EQ(balance->decimals, 9); // the account's, not the list's
    EXPECT_EQ(balance->amount, 2500000u);
    EXPECT_FALSE(balance->priceUSD);

    account.mint = "epjfwdd5aufqssqem2qn1xzybapc8g4wegGkZwyTDt1v";
    balance = SPLTokenBalance::fromAccount(account);
    ASSERT_TRUE(balance);
    EXPECT_EQ(balance->symbol, "?");
    EXPECT_EQ(balance->name, "epjfwdd5...");

    account.amount = "18446744073709551615";
    EXPECT_EQ(SPLTokenBalance::fromAccount(account)->amount, UINT64_MAX);
    for (const char* unreadable :
         {"0", "", "18446744073709551616", "-5", "1.5", " 5"}) {
        account.amount = unreadable;
        EXPECT_FALSE(SPLTokenBalance::fromAccount(account)) << unreadable;
    }
}

TEST(SPLToken, FormattedAmountIgnoresTheUsersLocale) {
    // A comma-decimal locale must not leak into the text (skipped where it is not installed).
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(holding(0, 6, "USDC").formattedAmount(), "0 USDC");
    EXPECT_EQ(holding(1'500'000, 6, "USDC").formattedAmount(), "1.5000 USDC");
    EXPECT_EQ(holding(5'000, 6, "USDC").formattedAmount(), "0.005000 USDC");
    EXPECT_EQ(holding(1'000'000'000, 6, "USDC").formattedAmount(), "1000.00 USDC");
    EXPECT_EQ(holding(999'990'000, 6, "X").formattedAmount(), "999.9900 X");
    EXPECT_EQ(holding(1, 9, "SOL").formattedAmount(), "0.000000 SOL");
    EXPECT_EQ(holding(UINT64_MAX, 0, "B").formattedAmount(), "18446744073709551616.00 B");
    std::setlocale(LC_ALL, previous.c_str());
}
