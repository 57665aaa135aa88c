// Symbols, names and the refusal of empty or oversized holdings: SolanaRefresh_tests.
#include "services/solana/SPLToken.h"

#include <gtest/gtest.h>

using qm::SPLTokenAccountInfo;
using qm::SPLTokenBalance;

TEST(SPLToken, MintsMatchExactlyAndAmountsAreReadStrictly) {
    SPLTokenAccountInfo account{"P", "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v", "5", 9,
                                std::nullopt};
    EXPECT_EQ(SPLTokenBalance::fromAccount(account)->symbol, "USDC");
    EXPECT_EQ(SPLTokenBalance::fromAccount(account)->decimals, 9); // the account's, not the list's
    account.mint = "epjfwdd5aufqssqem2qn1xzybapc8g4wegGkZwyTDt1v";
    EXPECT_EQ(SPLTokenBalance::fromAccount(account)->symbol, "?");
    account.amount = "18446744073709551615";
    EXPECT_EQ(SPLTokenBalance::fromAccount(account)->amount, UINT64_MAX);
    for (const char* unreadable : {" 5", "1.5"}) {
        account.amount = unreadable;
        EXPECT_FALSE(SPLTokenBalance::fromAccount(account)) << unreadable;
    }
}
