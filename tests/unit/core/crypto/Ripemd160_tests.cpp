#include "TestHex.h"
#include "core/crypto/Ripemd160.h"
#include "platform/Crypto.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace qm {
namespace {

using test::ascii;
using test::hex;

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// The test set published by the algorithm's authors.
TEST(Ripemd160, MatchesTheAuthorsTestVectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
        {"abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
        {repeated("1234567890", 8), "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
        {std::string(1000000, 'a'), "52783243c1697bdbe16d37f97f68f08325dc1528"},
    };
    for (const auto& [input, digest] : vectors) {
        EXPECT_EQ(hex(ripemd160(ascii(input))), digest) << input.substr(0, 80);
    }
}

TEST(Ripemd160, MatchesOpenSSLAcrossBlockBoundaries) {
    std::mt19937 rng(160);
    // 55 bytes fit one padded block, 56 need two; the rest straddle further boundaries.
    for (std::size_t n : {55u, 56u, 64u, 119u, 120u, 3001u}) {
        Bytes data(n);
        for (auto& b : data) {
            b = static_cast<std::uint8_t>(rng());
        }
        EXPECT_EQ(ripemd160(data), crypto::opensslRipemd160(data)) << n;
    }
}

} // namespace
} // namespace qm
