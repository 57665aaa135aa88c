#include "TestHex.h"
#include "core/crypto/UInt256.h"

#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <utility>

namespace qm {
namespace {

using test::hex;
using test::unhex;

constexpr std::uint64_t kOnes = ~std::uint64_t{0};
const UInt256 kMax(kOnes, kOnes, kOnes, kOnes);

UInt256 fromWord(const std::string& sixtyFourHexDigits) {
    return UInt256::fromBigEndianBytes(unhex(sixtyFourHexDigits));
}

TEST(UInt256, LongerBigEndianInputKeepsTheLast32Bytes) {
    const Bytes word = unhex("0102030405060708111213141516171821222324252627283132333435363738");
    EXPECT_EQ(
        UInt256::fromBigEndianBytes(concat(unhex("ff"), word)),
        UInt256(0x0102030405060708, 0x1112131415161718, 0x2122232425262728, 0x3132333435363738));
}

TEST(UInt256, HexTextEdgeCases) {
    for (const char* text : {"", "0x"}) {
        EXPECT_EQ(UInt256::fromHex(text), UInt256()) << text;
    }
    EXPECT_EQ(UInt256::fromHex("0X001f"), UInt256(0, 0, 0, 31));
    EXPECT_EQ(UInt256::fromHex(std::string(64, 'F')), kMax);
    for (const std::string& bad :
         {std::string("0x0x12"), std::string("1 "), std::string("-1"), std::string(65, '0'),
          std::string("\xef\xbc\x91"), std::string("1\0", 2)}) {
        EXPECT_EQ(UInt256::fromHex(bad), std::nullopt) << bad;
    }
}

TEST(UInt256, DecimalTextReadsTheDigitsOfEveryScriptAndSkipsTheRest) {
    const std::pair<const char*, std::uint64_t> cases[] = {
        {"", 0},
        {"-1.5", 15},
        {"\u0661\u0662\u0663", 123}, // Arabic-Indic
        {"1\u00b2\u2462", 123},      // superscript and circled digits
        {"\u4e94\u3007", 50},        // CJK numerals
        {"7\u00bd\u2469\u216b", 7},  // one half, circled ten, Roman twelve: no whole digit
        {"\xff\x31\xc0\x32\xe0\x80\x33\xed\xa0\x80", 123}, // 1, 2, 3 among malformed UTF-8
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(UInt256::fromDecimalString(text), UInt256(0, 0, 0, value)) << text;
    }
}

TEST(UInt256, WritingAWordStaysInsideTheList) {
    Bytes buffer(12, 0xaa);
    writeUInt64BigEndian(0x0102030405060708, 4, buffer);
    EXPECT_EQ(hex(buffer), "aaaaaaaa0102030405060708");
    EXPECT_THROW(writeUInt64BigEndian(1, static_cast<std::size_t>(-1), buffer), std::out_of_range);
    Bytes small(7);
    EXPECT_THROW(writeUInt64BigEndian(1, 0, small), std::out_of_range);
    EXPECT_EQ(small, Bytes(7, 0));
}

TEST(UInt256, MultiplicationKeepsTheLow256Bits) {
    const UInt256 pow128(0, 1, 0, 0);
    const UInt256 lowOnes(0, 0, kOnes, kOnes); // 2^128 - 1
    EXPECT_EQ(pow128.multipliedTruncating(pow128), UInt256());
    EXPECT_EQ(lowOnes.multipliedTruncating(lowOnes), UInt256(kOnes, kOnes - 1, 0, 1));
    EXPECT_EQ(kMax.multipliedTruncating(kMax), UInt256(0, 0, 0, 1));
}

// Random cases against JavaScript's BigInt are in the swap peer; here the limits exactly.
TEST(UInt256, CheckedArithmeticRefusesWhatDoesNotFit) {
    const UInt256 one(0, 0, 0, 1);
    const UInt256 two(0, 0, 0, 2);
    EXPECT_EQ(kMax.checkedAdd(UInt256()), kMax);
    EXPECT_EQ(kMax.checkedAdd(one), std::nullopt);
    EXPECT_EQ(UInt256(0, 0, 0, kOnes).checkedAdd(one), UInt256(0, 0, 1, 0)); // carry across
    EXPECT_EQ(UInt256(1, 0, 0, 0).checkedSubtract(one), UInt256(0, kOnes, kOnes, kOnes));
    EXPECT_EQ(UInt256().checkedSubtract(one), std::nullopt);
    EXPECT_EQ(UInt256(0, 0, 1, 0).checkedSubtract(UInt256(0, 0, 1, 1)), std::nullopt);
    EXPECT_EQ(UInt256(0, 1, 0, 0).checkedMultiply(UInt256(0, 0, kOnes, kOnes)),
              UInt256(kOnes, kOnes, 0, 0));
    EXPECT_EQ(UInt256(0, 1, 0, 0).checkedMultiply(UInt256(0, 1, 0, 0)), std::nullopt);
    EXPECT_EQ(UInt256(1ULL << 63, 0, 0, 0).checkedMultiply(two), std::nullopt);

    // The product may exceed 256 bits as long as the quotient does not.
    EXPECT_EQ(kMax.checkedMultiplyDivide(kMax, kMax), kMax);
    EXPECT_EQ(kMax.checkedMultiplyDivide(two, two), kMax);
    EXPECT_EQ(kMax.checkedMultiplyDivide(two, one), std::nullopt);
    EXPECT_EQ(kMax.checkedMultiplyDivide(kMax, UInt256(kOnes, kOnes, kOnes, kOnes - 1)),
              std::nullopt);
    EXPECT_EQ(one.checkedMultiplyDivide(one, UInt256()), std::nullopt);
    EXPECT_EQ(UInt256(0, 0, 0, 7).checkedMultiplyDivide(UInt256(0, 0, 0, 3), two),
              UInt256(0, 0, 0, 10)); // floor of 10.5
    // (2^255) * 3 / 2^254 = 6, with the divisor's top bit far below the product's.
    EXPECT_EQ(UInt256(1ULL << 63, 0, 0, 0)
                  .checkedMultiplyDivide(UInt256(0, 0, 0, 3), UInt256(1ULL << 62, 0, 0, 0)),
              UInt256(0, 0, 0, 6));

    EXPECT_EQ(UInt256::powerOfTen(0), one);
    EXPECT_EQ(UInt256::powerOfTen(19), UInt256(0, 0, 0, 10'000'000'000'000'000'000ULL));
    EXPECT_EQ(UInt256::powerOfTen(77).value().description(),
              "0xdd15fe86affad91249ef0eb713f39ebeaa987b6e6fd2a0000000000000000000");
    EXPECT_EQ(UInt256::powerOfTen(78), std::nullopt);
    EXPECT_EQ(UInt256::max(), kMax);
}

// Division, decimal text and narrowing; random operands are checked against JavaScript's
// BigInt by the codec peer.
TEST(UInt256, DivisionDecimalTextAndNarrowing) {
    EXPECT_EQ(UInt256(0, 0, 0, 1).dividedWithRemainder(UInt256()), std::nullopt);
    const auto [quotient, remainder] = *kMax.dividedWithRemainder(UInt256(0, 0, 0, 10));
    EXPECT_EQ(remainder, UInt256(0, 0, 0, 5));
    EXPECT_EQ(quotient.decimalString(),
              "11579208923731619542357098500868790785326998466564056403945758400791312963993");
    EXPECT_EQ(kMax.decimalString(),
              "115792089237316195423570985008687907853269984665640564039457584007913129639935");
    EXPECT_EQ(UInt256().decimalString(), "0");
    // Chunks of 19 digits keep their inner zeros: 10^20.
    EXPECT_EQ(UInt256(0, 0, 5, 0x6bc75e2d63100000ULL).decimalString(), "100000000000000000000");
    EXPECT_EQ(UInt256(0, 0, 1, 0).toUInt64(), std::nullopt);
    EXPECT_EQ(UInt256(0, 0, 0, kOnes).toUInt64(), kOnes);
}

// Decimal text at the edges of its 19-digit chunks and of the words (values from Python's
// integers), and back through the parser for every power of ten and its neighbours.
TEST(UInt256, DecimalTextAtChunkAndWordBoundaries) {
    const std::pair<UInt256, const char*> cases[] = {
        {UInt256(), "0"},
        {UInt256(0, 0, 0, 9), "9"},
        {UInt256(0, 0, 0, 0x8ac7230489e7ffffULL), "9999999999999999999"},
        {UInt256(0, 0, 0, 0x8ac7230489e80000ULL), "10000000000000000000"},
        {UInt256(0, 0, 0, 0x8ac7230489e80001ULL), "10000000000000000001"},
        {UInt256(0, 0, 0, ~0ULL), "18446744073709551615"},
        {UInt256(0, 0, 1, 0), "18446744073709551616"},
        {UInt256(0, 0, 0x4b3b4ca85a86c47aULL, 0x098a223fffffffffULL),
         "99999999999999999999999999999999999999"},
        {UInt256(0, 0, 0x4b3b4ca85a86c47aULL, 0x098a224000000000ULL),
         "100000000000000000000000000000000000000"},
        {UInt256(0, 0, ~0ULL, ~0ULL), "340282366920938463463374607431768211455"},
        {UInt256(0, 1, 0, 0), "340282366920938463463374607431768211456"},
        {UInt256(0, 0x28c87cb5c89a2571ULL, 0xebfdcb54864ada83ULL, 0x4a00000000000000ULL),
         "1000000000000000000000000000000000000000000000000000000000"},
        {UInt256::max(),
         "115792089237316195423570985008687907853269984665640564039457584007913129639935"},
    };
    for (const auto& [value, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(value.decimalString(), text);
        EXPECT_EQ(UInt256::fromDecimalString(text), value);
    }
    const UInt256 one(0, 0, 0, 1);
    for (unsigned exponent = 0; exponent <= 77; ++exponent) {
        SCOPED_TRACE(exponent);
        const UInt256 power = *UInt256::powerOfTen(exponent);
        const std::string text = power.decimalString();
        EXPECT_EQ(text, "1" + std::string(exponent, '0'));
        const std::string below = power.checkedSubtract(one)->decimalString();
        EXPECT_EQ(below, exponent == 0 ? "0" : std::string(exponent, '9'));
        const UInt256 above = *power.checkedAdd(one);
        EXPECT_EQ(UInt256::fromDecimalString(above.decimalString()), above);
    }
}

// Cases computed once with Python's arbitrary-precision integers.
TEST(UInt256, AgreesWithAnIndependentBigIntegerImplementation) {
    std::ifstream file(QM_SOURCE_DIR "/tests/data/uint256_cases.json");
    ASSERT_TRUE(file.good());
    const auto data = nlohmann::json::parse(file);
    ASSERT_GE(data.at("cases").size(), 50u);
    for (const auto& c : data.at("cases")) {
        const UInt256 a = fromWord(c.at("a").get<std::string>());
        const UInt256 b = fromWord(c.at("b").get<std::string>());
        const std::string aHex = c.at("aHex").get<std::string>();
        SCOPED_TRACE(aHex);
        EXPECT_EQ(UInt256::fromHex(aHex), a);
        EXPECT_EQ(UInt256::fromDecimalString(c.at("aDecimal").get<std::string>()), a);
        EXPECT_EQ(UInt256::fromDecimalString(a.decimalString()), a);
        EXPECT_EQ(a.description(), c.at("aDescription").get<std::string>());
        EXPECT_EQ(hex(a.minimalBigEndianBytes()), c.at("aMinimal").get<std::string>());
        EXPECT_EQ(hex(a.bigEndianWord()), c.at("a").get<std::string>());
        EXPECT_EQ(a.multipliedTruncating(b), fromWord(c.at("product").get<std::string>()));
        EXPECT_EQ(b.multipliedTruncating(a), a.multipliedTruncating(b));
        const int order = c.at("order").get<int>();
        EXPECT_EQ(a < b, order < 0);
        EXPECT_EQ(a == b, order == 0);
        EXPECT_EQ(a > b, order > 0);
    }
    for (const auto& w : data.at("decimalWraps")) {
        EXPECT_EQ(UInt256::fromDecimalString(w.at("decimal").get<std::string>()),
                  fromWord(w.at("value").get<std::string>()));
    }
}

} // namespace
} // namespace qm
