#include "TestHex.h"
#include "services/evm/Hex.h"

#include <gtest/gtest.h>
#include <limits>

using qm::bytesToHex;
using qm::hexToBytes;
using qm::hexToUInt64;
using qm::test::unhex;

TEST(Hex, BytesToHexIsLowercaseWithPrefix) {
    EXPECT_EQ(bytesToHex(unhex("00ab")), "0x00ab");
    EXPECT_EQ(bytesToHex({}), "0x");
    EXPECT_EQ(qm::bytesToPlainHex(unhex("DEADBEEF")), "deadbeef");
}

TEST(Hex, HexToBytesAcceptsOnePrefixAndEvenDigits) {
    EXPECT_EQ(hexToBytes("0x"), qm::Bytes{});
    EXPECT_EQ(hexToBytes("0xAbCd"), unhex("abcd"));
    EXPECT_EQ(hexToBytes("abcd"), unhex("abcd"));
    EXPECT_FALSE(hexToBytes(std::nullopt));
    EXPECT_FALSE(hexToBytes("0xabc"));
    EXPECT_FALSE(hexToBytes("0xag"));
    EXPECT_FALSE(hexToBytes("0x0x12"));
}

TEST(Hex, HexToUInt64AcceptsExactlyUnsignedHexBelow2To64) {
    EXPECT_EQ(hexToUInt64("0xffffffffffffffff"), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(hexToUInt64("0x0"), 0u);
    EXPECT_EQ(hexToUInt64("1f"), 31u);
    EXPECT_EQ(hexToUInt64("0x00000000000000000001"), 1u); // leading zeros do not count
    EXPECT_FALSE(hexToUInt64("0x10000000000000000"));
    EXPECT_FALSE(hexToUInt64(std::nullopt));
    for (const char* text : {"", "0x", "-1", " 0x1", "0x0x1", "0x1g"}) {
        EXPECT_FALSE(hexToUInt64(text)) << text;
    }
}
