#include "TestHex.h"
#include "services/evm/RLP.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::ascii;
using test::hex;

Bytes str(std::string_view text) {
    return RLP::encodeBytes(ascii(text));
}

TEST(RLP, PublishedVectors) {
    EXPECT_EQ(hex(str("dog")), "83646f67");
    EXPECT_EQ(hex(RLP::encodeList({str("cat"), str("dog")})), "c88363617483646f67");
    EXPECT_EQ(hex(str("")), "80");
    EXPECT_EQ(hex(RLP::encodeList({})), "c0");
    EXPECT_EQ(hex(RLP::encodeUInt64(1024)), "820400");
    // The set-theoretical representation of three: [ [], [[]], [ [], [[]] ] ].
    const Bytes empty = RLP::encodeList({});
    const Bytes one = RLP::encodeList({empty});
    EXPECT_EQ(hex(RLP::encodeList({empty, one, RLP::encodeList({empty, one})})),
              "c7c0c1c0c3c0c1c0");
    const std::string lorem = "Lorem ipsum dolor sit amet, consectetur adipisicing elit";
    ASSERT_EQ(lorem.size(), 56u);
    EXPECT_EQ(hex(str(lorem)), "b838" + hex(ascii(lorem)));
}

TEST(RLP, LengthBoundaries) {
    // 55 bytes is the last short form; 56 to 255 take one length byte, 256 on two.
    EXPECT_EQ(hex(RLP::encodeBytes(Bytes(55, 0xaa))), "b7" + std::string(110, 'a'));
    EXPECT_EQ(hex(RLP::encodeBytes(Bytes(256, 0xaa))).substr(0, 8), "b90100aa");
    EXPECT_EQ(hex(RLP::encodeBytes(Bytes{0x80})), "8180");
    EXPECT_EQ(hex(RLP::encodeBytes(Bytes{0x7f})), "7f");

    const std::vector<Bytes> fiveOfEleven(5, Bytes(11, 0)); // 5 * 11 = 55 bytes of payload
    EXPECT_EQ(RLP::encodeList(fiveOfEleven)[0], 0xf7);
    const std::vector<Bytes> many(100, str("dog")); // 400 bytes
    EXPECT_EQ(hex(RLP::encodeList(many)).substr(0, 6), "f90190");
}

TEST(RLP, Integers) {
    EXPECT_EQ(hex(RLP::encodeUInt64(128)), "8180");
    EXPECT_EQ(hex(RLP::encodeUInt64(UINT64_MAX)), "88ffffffffffffffff");

    EXPECT_EQ(hex(RLP::encodeUInt256(UInt256())), "80");
    EXPECT_EQ(hex(RLP::encodeUInt256(UInt256(0, 0, 1, 0))), "89010000000000000000");
    EXPECT_EQ(hex(RLP::encodeUInt256(UInt256(UINT64_MAX, UINT64_MAX, UINT64_MAX, UINT64_MAX))),
              "a0" + std::string(64, 'f'));
}

} // namespace
} // namespace qm
