#include "TestHex.h"
#include "services/evm/Hex.h"

#include <gtest/gtest.h>
#include <limits>

using qm::hexToBytes;
using qm::hexToUInt64;
using qm::test::unhex;

TEST(Hex, RoundTripsAndRefusals) {
    EXPECT_EQ(qm::bytesToHex(unhex("00ab")), "0x00ab");
    EXPECT_EQ(qm::bytesToHex({}), "0x");
    EXPECT_EQ(qm::bytesToPlainHex(unhex("DEADBEEF")), "deadbeef");

    // One optional prefix, even digits of either case.
    EXPECT_EQ(hexToBytes("0x"), qm::Bytes{});
    EXPECT_EQ(hexToBytes("0xAbCd"), unhex("abcd"));
    EXPECT_EQ(hexToBytes("abcd"), unhex("abcd"));
    for (const char* bad : {"0xabc", "0xag", "0x0x12"}) {
        EXPECT_FALSE(hexToBytes(bad)) << bad;
    }
    EXPECT_FALSE(hexToBytes(std::nullopt));

    // Unsigned and below 2^64; leading zeros do not count.
    EXPECT_EQ(hexToUInt64("0xffffffffffffffff"), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(hexToUInt64("1f"), 31u);
    EXPECT_EQ(hexToUInt64("0x00000000000000000001"), 1u);
    for (const char* bad : {"0x10000000000000000", "", "0x", "-1", " 0x1", "0x0x1", "0x1g"}) {
        EXPECT_FALSE(hexToUInt64(bad)) << bad;
    }
    EXPECT_FALSE(hexToUInt64(std::nullopt));
}
