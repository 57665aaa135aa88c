#include "core/model/Amount.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qm {
namespace {

using Kind = AmountError::Kind;

// 2^256 - 1 and 2^256 in decimal.
constexpr const char* maxValue =
    "115792089237316195423570985008687907853269984665640564039457584007913129639935";
constexpr const char* twoTo256 =
    "115792089237316195423570985008687907853269984665640564039457584007913129639936";
constexpr UInt256 all(~0ull, ~0ull, ~0ull, ~0ull);

struct Accepted {
    const char* text;
    unsigned decimals;
    UInt256 expected;
};

constexpr Accepted accepted[] = {
    {"1.1", 18, UInt256(0, 0, 0, 1'100'000'000'000'000'000)}, // ETH in wei
    {"0.29", 8, UInt256(0, 0, 0, 29'000'000)},                // BTC in satoshis
    {"1", 6, UInt256(0, 0, 0, 1'000'000)},
    {".5", 9, UInt256(0, 0, 0, 500'000'000)},
    {"1.", 2, UInt256(0, 0, 0, 100)},
    {"+2", 0, UInt256(0, 0, 0, 2)},
    {"0", 18, UInt256()},
    {"0.000000000000000000000", 18, UInt256()}, // zeros finer than a wei are still zero
    {"1.10000000000000000000", 18, UInt256(0, 0, 0, 1'100'000'000'000'000'000)},
    {"00012.5", 1, UInt256(0, 0, 0, 125)},
    {"1e-3", 18, UInt256(0, 0, 0, 1'000'000'000'000'000)},
    {"2.5E+2", 0, UInt256(0, 0, 0, 250)},
    {"1e18", 0, UInt256(0, 0, 0, 1'000'000'000'000'000'000)},
    {"0.000000000000000001", 18, UInt256(0, 0, 0, 1)},
    {"0e999999999999999999999", 0, UInt256()},
    {"18446744073709551616", 0, UInt256(0, 0, 1, 0)}, // 2^64: no 64-bit limit on the way
    {maxValue, 0, all},
    {"1e-255", 255, UInt256(0, 0, 0, 1)},
};

struct Refused {
    const char* text;
    unsigned decimals;
    Kind kind;
};

constexpr Refused refused[] = {
    {"", 18, Kind::empty},
    {"abc", 18, Kind::notANumber},
    {".", 18, Kind::notANumber},
    {"1e", 18, Kind::notANumber},
    {"e5", 18, Kind::notANumber},
    {" 1", 18, Kind::notANumber},
    {"1 ", 18, Kind::notANumber},
    {"1.2.3", 18, Kind::notANumber},
    {"0x10", 18, Kind::notANumber},
    {"inf", 18, Kind::notANumber},
    {"nan", 18, Kind::notANumber},
    {"++1", 18, Kind::notANumber},
    {"\xEF\xBC\x91", 0, Kind::notANumber}, // a fullwidth digit one
    {"1,5", 18, Kind::decimalComma},
    {"1.000,5", 18, Kind::decimalComma},
    {",5", 18, Kind::decimalComma},
    {"-1", 18, Kind::negative},
    {"-0.5", 18, Kind::negative},
    {"0.123456789", 8, Kind::tooManyDecimals}, // a ninth digit on Bitcoin
    {"1.0000001", 6, Kind::tooManyDecimals},
    {"1e-19", 18, Kind::tooManyDecimals},
    {"1e-999999999999", 18, Kind::tooManyDecimals},
    {"0.5", 0, Kind::tooManyDecimals},
    {twoTo256, 0, Kind::tooLarge},
    {"1e78", 0, Kind::tooLarge},
    {"1e60", 18, Kind::tooLarge},
    {"1e99999999999999", 0, Kind::tooLarge},
    {"1e-1000000001", 1'000'000'000, Kind::unsupportedDecimals}, // once read as exactly 1
    {"0", 256, Kind::unsupportedDecimals},
    {"1", 255, Kind::tooLarge},
    {"1157920892373161954235709850086879078532699846656405640394575840079131296399.36", 2,
     Kind::tooLarge},
};

std::optional<Kind> refusal(const char* text, unsigned decimals) {
    try {
        Amount::parse(text, decimals);
    } catch (const AmountError& error) {
        return error.kind();
    }
    return std::nullopt;
}

void expectParserTable() {
    for (const Accepted& entry : accepted) {
        const Amount amount = Amount::parse(entry.text, entry.decimals);
        EXPECT_EQ(amount.value, entry.expected) << entry.text;
        EXPECT_EQ(amount.decimals, entry.decimals) << entry.text;
    }
    for (const Refused& entry : refused) {
        EXPECT_EQ(refusal(entry.text, entry.decimals), entry.kind) << entry.text;
    }
}

// de_DE writes "1,5": the parser must still refuse it and read "1.5" as one and a half.
TEST(Amount, ParsesTypedTextExactlyInAnyLocale) {
    expectParserTable();
    EXPECT_STREQ(AmountError(Kind::tooManyDecimals).what(), "Too many decimal places");

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("qm-locale-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string build =
        "localedef -i de_DE -f UTF-8 '" + folder.string() + "/de_DE.UTF-8' 2>/dev/null";
    if (std::system(build.c_str()) != 0) {
        std::filesystem::remove_all(folder);
        GTEST_SKIP() << "localedef cannot build de_DE.UTF-8 (the locales package is missing)";
    }
    setenv("LOCPATH", folder.c_str(), 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    char printed[32];
    std::snprintf(printed, sizeof printed, "%.1f", 1.5);
    ASSERT_EQ(std::string(printed), "1,5") << "the German locale is not in force";

    expectParserTable();
    EXPECT_EQ(Amount::parse("1.5", 1).exactAmountText("ETH"), "1.5000 ETH");

    std::setlocale(LC_ALL, "C");
    unsetenv("LC_ALL");
    std::filesystem::remove_all(folder);
}

// The screens' thresholds are strict: exactly 0.01 takes four digits, exactly 1000 two.
TEST(Amount, TextThresholds) {
    struct Case {
        Amount amount;
        const char* expected;
    };
    const Case table[] = {
        {{UInt256(), 18}, "0 ETH"},
        {{UInt256(0, 0, 0, 1), 18}, "0.000000 ETH"},
        {{UInt256(0, 0, 0, 9'990'000'000'000'000), 18}, "0.009990 ETH"},
        {{UInt256(0, 0, 0, 10'000'000'000'000'000), 18}, "0.0100 ETH"},
        {{UInt256(0, 0, 0, 999'990'000), 6}, "999.9900 ETH"},
        {{UInt256(0, 0, 0, 1'000'000'000), 6}, "1000.00 ETH"},
        {{UInt256(0, 0, 0, 123'456'789), 2}, "1234567.89 ETH"},
        {{all, 0},
         "115792089237316195423570985008687907853269984665640564039457584007913129639935.00 ETH"},
    };
    for (const Case& entry : table) {
        EXPECT_EQ(entry.amount.exactAmountText("ETH"), entry.expected) << entry.expected;
    }
    EXPECT_EQ(fixedPointText(1.5e-7, 8), "0.00000015");
}

// The lists' texts round the exact value half up, at the size of the rounded figure; a double
// in between would round 0.0012345 and 1000.005 down (it holds 0.00123449... and 1000.00499...),
// and 10^-2 at 78 decimals could not be compared at all.
TEST(Amount, ListTextsRoundTheExactValueHalfUp) {
    struct Case {
        const char* typed;
        unsigned decimals;
        const char* expected;
    };
    const Case table[] = {
        {"1.2344499999", 18, "1.2344"},
        {"1.23445", 18, "1.2345"},
        {"0.0012344999", 18, "0.001234"},
        {"0.0012345", 18, "0.001235"},
        {"1000.004999", 6, "1000.00"},
        {"1000.005", 6, "1000.01"},
        {"999.99994999", 18, "999.9999"},
        {"999.99995", 18, "1000.00"}, // rounds to 1000: written as 1000 is
        {"0.0099994999", 18, "0.009999"},
        {"0.0099995", 18, "0.0100"},
        {"0.00999999", 8, "0.0100"},
        {"0.000000499", 18, "0.000000"}, // above zero, below the last digit shown
        {"0.01", 78, "0.0100"},
        {"1e-78", 78, "0.000000"},
        {"12345678901234567890.125", 3, "12345678901234567890.13"},
    };
    for (const Case& entry : table) {
        const Amount amount = Amount::parse(entry.typed, entry.decimals);
        EXPECT_EQ(amount.listNumberText(), entry.expected) << entry.typed;
        EXPECT_EQ(amount.exactAmountText("NOVR"), std::string(entry.expected) + " NOVR");
    }
}

// What "Max" writes reads back to the same base units; rounding carries into the whole part.
TEST(Amount, ExactTextsRoundTripAndRoundHalfUp) {
    for (const auto& [text, decimals] :
         std::vector<std::pair<std::string, unsigned>>{{"1.1", 18},
                                                       {"1234567.891", 18},
                                                       {"0.000000000000000001", 18},
                                                       {"25", 6},
                                                       {"0.29", 8},
                                                       {"0", 9},
                                                       {"18.5", 18}}) {
        const Amount amount = Amount::parse(text, decimals);
        EXPECT_EQ(amount.exactText(), text);
        EXPECT_EQ(Amount::parse(amount.exactText(), decimals), amount);
    }
    EXPECT_EQ(Amount::parse("0.9999995", 18).fixedText(6), "1.000000");
    EXPECT_EQ(Amount::parse("0.9999994", 18).fixedText(6), "0.999999");
    EXPECT_EQ(Amount::parse("1.1", 18).fixedText(18), "1.100000000000000000");
    EXPECT_EQ(Amount::parse("7", 0).fixedText(2), "7.00");
    EXPECT_EQ(Amount::parse("9.5", 1).fixedText(0), "10");
}

} // namespace
} // namespace qm
