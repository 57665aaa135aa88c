// Length forms and integers inside transactions (55/56/256-byte data, 64- and 256-bit
// values) are checked against ethers by the peer_evm test.
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
    EXPECT_EQ(hex(RLP::encodeBytes(Bytes{0x0f})), "0f");
    EXPECT_EQ(hex(RLP::encodeUInt64(1024)), "820400");
    EXPECT_EQ(hex(RLP::encodeUInt256(UInt256())), "80");
    // The set-theoretical representation of three: [ [], [[]], [ [], [[]] ] ].
    const Bytes empty = RLP::encodeList({});
    const Bytes one = RLP::encodeList({empty});
    EXPECT_EQ(hex(RLP::encodeList({empty, one, RLP::encodeList({empty, one})})),
              "c7c0c1c0c3c0c1c0");
    const std::string lorem = "Lorem ipsum dolor sit amet, consectetur adipisicing elit";
    ASSERT_EQ(lorem.size(), 56u);
    EXPECT_EQ(hex(str(lorem)), "b838" + hex(ascii(lorem)));
}

} // namespace
} // namespace qm
