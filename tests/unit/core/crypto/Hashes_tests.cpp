#include "TestHex.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Ripemd160.h"
#include "platform/Crypto.h"

#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using test::ascii;
using test::hex;

// Bytes 0, 1, 2, ... (mod 256).
Bytes counting(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(i);
    }
    return out;
}

// Digests other than of the empty input were computed with @noble/hashes.
TEST(Keccak, MatchesPublishedAndIndependentDigestsAroundTheRate) {
    EXPECT_EQ(hex(keccak256({})),
              "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470");
    // 135 bytes: both pad bits land in the last rate byte.
    EXPECT_EQ(hex(keccak256(counting(135))),
              "cbdfd9dee5faad3818d6b06f95a219fd290b0e1706f6a82e5a595b9ce9faca62");
    // 136 bytes: one full block, the pad goes into a block of its own.
    EXPECT_EQ(hex(keccak256(counting(136))),
              "7ce759f1ab7f9ce437719970c26b0a66ff11fe3e38e17df89cf5d29c7d7f807e");
    // Keccak-512, rate 72.
    Bytes digest512(64);
    EXPECT_EQ(keccakHash(ascii("abc").data(), 3, digest512.data(), 64), digest512.data());
    EXPECT_EQ(hex(digest512), "18587dc2ea106b9a1563e32b3312421ca164c7f1f07bc922a9c83d77cea3a1e5"
                              "d0c69910739025372dc14ac9642629379540c17e2a65b19d77aa511a9d00bb96");
}

TEST(Keccak, DigestLengthsBeyondOneRateAreRefused) {
    KeccakContext context;
    Bytes digest(200);
    for (int length : {0, -1, 65}) {
        EXPECT_EQ(keccakInit(context, length), 0) << length;
        EXPECT_EQ(keccakHash(nullptr, 0, digest.data(), length), nullptr) << length;
    }
}

// The authors' published test set, then OpenSSL's digests where padding changes blocks: 55 bytes
// fit one padded block, 56 need two.
TEST(Ripemd160, MatchesThePublishedVectorsAndOpenSSLAcrossBlockBoundaries) {
    // clang-format off
    const std::pair<std::string, std::string> vectors[] = {
        {"", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
        {"abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890", "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
        {std::string(1000000, 'a'), "52783243c1697bdbe16d37f97f68f08325dc1528"},
    };
    // clang-format on
    for (const auto& [input, digest] : vectors) {
        EXPECT_EQ(hex(ripemd160(ascii(input))), digest) << input.substr(0, 80);
    }
    for (std::size_t n : {55u, 56u, 64u, 119u, 120u, 3001u}) {
        EXPECT_EQ(ripemd160(counting(n)), crypto::opensslRipemd160(counting(n))) << n;
    }
}

} // namespace
} // namespace qm
