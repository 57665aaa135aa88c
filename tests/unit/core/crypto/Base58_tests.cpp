// Random texts, junk characters and leading zeros are compared with @scure/base by the
// codec peer; these are the published pairs.

#include "TestHex.h"
#include "core/crypto/Base58.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace qm {
namespace {

using test::hex;
using test::unhex;

// Bitcoin Core's base58_encode_decode.json pairs.
TEST(Base58, PublishedPairsEncodeAndDecode) {
    Bytes all(256); // bytes 0x00 to 0xff
    for (int i = 0; i < 256; ++i) {
        all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    }
    const std::pair<std::string, std::string> pairs[] = {
        {"", ""},
        {"61", "2g"},
        {"00eb15231dfceb60925886b67d065299925915aeb172c06647",
         "1NS17iag9jJgTHD1VXjvLCEnZuQ3rJDE9L"},
        {"00000000000000000000", "1111111111"},
        {"000111d38e5fc9071ffcd20b4a763cc9ae4f252bb4e48fd66a835e252ada93ff480d6dd43dc62a641155a5",
         "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"},
        {hex(all), "1cWB5HCBdLjAuqGGReWE3R3CguuwSjw6RHn39s2yuDRTS5NsBgNiFpWgAnEx6VQi8csexkgYw3mdY"
                   "rMHr8x9i7aEwP8kZ7vccXWqKDvGv3u1GxFKPuAkn8JCPPGDMf3vMMnbzm6Nh9zh1gcNsMvH3ZNLm"
                   "P5fSG6DGbbi2tuwMWPthr4boWwCxf7ewSgNQeacyozhKDDQQ1qL5fQFUW52QKUZDZ5fw3KXNQJMc"
                   "NTcaB723LchjeKun7MuGW5qyCBZYzA1KjofN1gYBV3NqyhQJ3Ns746GNuf9N2pQPmHz4xpnSrrfC"
                   "vy6TVVz5d4PdrjeshsWQwpZsZGzvbdAdN8MKV5QsBDY"},
    };
    for (const auto& [bytesHex, text] : pairs) {
        SCOPED_TRACE(text);
        EXPECT_EQ(base58Encode(unhex(bytesHex)), text);
        const auto decoded = base58Decode(text);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(hex(*decoded), bytesHex);
    }
    // A byte past ASCII must not index the digit table (the sanitizer build has no peer).
    EXPECT_FALSE(base58Decode("2g\xc3\xa9").has_value());
}

} // namespace
} // namespace qm
