#include "services/solana/SPLToken.h"

#include <clocale>
#include <gtest/gtest.h>

using qm::SPLTokenAccountInfo;
using qm::SPLTokenBalance;

TEST(SPLToken, HoldingsFromTokenAccounts) {
    SPLTokenAccountInfo account{"P", "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v", "2500000", 9,
                                std::nullopt};
    auto balance = SPLTokenBalance::fromAccount(account);
    ASSERT_TRUE(balance);
    EXPECT_EQ(balance->symbol, "USDC");
    EXPECT_EQ(balance->name, "USD Coin");
    EXPECT_EQ(balance->decimals, 9); // the account's, not the list's
    EXPECT_EQ(balance->amount, 2500000u);

    // Mints are matched exactly.
    account.mint = "epjfwdd5aufqssqem2qn1xzybapc8g4wegGkZwyTDt1v";
    balance = SPLTokenBalance::fromAccount(account);
    ASSERT_TRUE(balance);
    EXPECT_EQ(balance->symbol, "?");
    EXPECT_EQ(balance->name, "epjfwdd5...");

    account.amount = "18446744073709551615";
    EXPECT_EQ(SPLTokenBalance::fromAccount(account)->amount, UINT64_MAX);
    for (const char* unreadable : {"0", "18446744073709551616", " 5", "1.5"}) {
        account.amount = unreadable;
        EXPECT_FALSE(SPLTokenBalance::fromAccount(account)) << unreadable;
    }
}

TEST(SPLToken, FormattedAmountIgnoresTheUsersLocale) {
    // A comma-decimal locale must not leak into the text (skipped where it is not installed).
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    const auto text = [](std::uint64_t amount, std::uint8_t decimals) {
        SPLTokenBalance balance;
        balance.amount = amount;
        balance.decimals = decimals;
        balance.symbol = "T";
        return balance.formattedAmount();
    };
    EXPECT_EQ(text(0, 6), "0 T");
    EXPECT_EQ(text(5'000, 6), "0.005000 T");
    EXPECT_EQ(text(999'990'000, 6), "999.9900 T");
    EXPECT_EQ(text(1'000'000'000, 6), "1000.00 T");
    EXPECT_EQ(text(UINT64_MAX, 0), "18446744073709551616.00 T");
    std::setlocale(LC_ALL, previous.c_str());
}
