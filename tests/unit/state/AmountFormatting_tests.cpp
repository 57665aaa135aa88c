#include "state/AmountFormatting.h"

#include <QLocale>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

struct Case {
    const char* amount;
    std::int64_t decimals;
    const char* expected;
};

constexpr Case table[] = {
    {" 1", 0, "0"}, // leading white space
    {"12abc", 0, "0"},
    {"1500000000000000000", 18, "1.5000"},
    {"5000000000000000", 18, "0.005000"},
    {"999999949", 6, "999.9999"},
    {"999999950", 6, "1000.00"}, // below 1000, but rounds to it: written as 1000 is
    {"1e400", 0, "0"},
    {"123456789012345678901234567890", 18, "123456789012.35"},
    // Exact where a double is not: 2^53 + 1 base units, and a half that a double holds as
    // 0.00499...
    {"9007199254740993", 2, "90071992547409.93"},
    {"1000005", 3, "1000.01"},
    {"15e17", 18, "1.5000"},
    {"+1", 0, "1.0000"},
    // Not a whole number of base units.
    {"-5", 0, "0"},
    {"1.5", 0, "0"},
    {"", 18, "0"},
    {"1", -1, "0"},
    {"1", 256, "0"},
};

void expectTable() {
    for (const Case& entry : table) {
        EXPECT_EQ(formatTokenAmount(entry.amount, entry.decimals), entry.expected) << entry.amount;
    }
}

// it_IT writes "1,5": a locale-dependent formatter would show a comma there.
TEST(AmountFormatting, TableInTheCLocaleAndUnderAnItalianOne) {
    expectTable();
    QTemporaryDir locales;
    const std::string folder = locales.path().toStdString();
    const std::string build =
        "localedef -i it_IT -f UTF-8 '" + folder + "/it_IT.UTF-8' 2>/dev/null";
    if (std::system(build.c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot build it_IT.UTF-8 (the locales package is missing)";
    }
    setenv("LOCPATH", folder.c_str(), 1);
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    char printed[32];
    std::snprintf(printed, sizeof printed, "%.4f", 1.5);
    ASSERT_EQ(std::string(printed), "1,5000") << "the Italian locale is not in force";

    expectTable();

    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
}

// The sidebar, the portfolio, the account screen and the send sheet show one text of a native
// balance: 123,456,500,000,000,000 wei is 0.1234565 ETH, which a double holds as 0.12345649...
TEST(AmountFormatting, NativeBalancesRoundTheExactValueHalfUp) {
    EXPECT_EQ(nativeBalanceText(Chain::ethereum, UInt256(0, 0, 0, 123'456'500'000'000'000)),
              "0.123457 ETH");
    EXPECT_EQ(nativeBalanceText(Chain::arbitrum, UInt256(0, 0, 0, 123'456'499'999'999'999)),
              "0.123456 ETH");
    EXPECT_EQ(nativeBalanceText(Chain::polygon, UInt256()), "0.000000 POL");
    EXPECT_EQ(nativeBalanceText(Chain::bitcoin, UInt256(0, 0, 0, 150'000)), "0.00150000 BTC");
    EXPECT_EQ(nativeBalanceText(Chain::solana, UInt256(0, 0, 0, 1'234'450'000)), "1.2345 SOL");
    EXPECT_EQ(nativeBalanceText(Chain::solana, UInt256(0, 0, 0, 1'234'449'999)), "1.2344 SOL");
    // 2^64 - 1 lamports: past what a double holds exactly.
    EXPECT_EQ(nativeBalanceText(Chain::solana, UInt256(0, 0, 0, ~0ull)), "18446744073.7096 SOL");
}

} // namespace
} // namespace qm
