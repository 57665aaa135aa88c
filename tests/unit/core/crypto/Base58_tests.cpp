#include "TestHex.h"
#include "core/crypto/Base58.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace qm {
namespace {

using test::hex;
using test::unhex;

// Bitcoin Core's base58_encode_decode.json pairs.
const std::vector<std::pair<std::string, std::string>>& publishedPairs() {
    static const std::vector<std::pair<std::string, std::string>> pairs = [] {
        std::vector<std::pair<std::string, std::string>> p = {
            {"", ""},
            {"61", "2g"},
            {"00eb15231dfceb60925886b67d065299925915aeb172c06647",
             "1NS17iag9jJgTHD1VXjvLCEnZuQ3rJDE9L"},
            {"00000000000000000000", "1111111111"},
            {"000111d38e5fc9071ffcd20b4a763cc9ae4f252bb4e48fd66a835e252ada93ff480d6dd43dc62a6411"
             "55a5",
             "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"},
        };
        std::string all; // bytes 0x00 to 0xff
        for (int i = 0; i < 256; ++i) {
            static const char digits[] = "0123456789abcdef";
            all.push_back(digits[i >> 4]);
            all.push_back(digits[i & 15]);
        }
        p.emplace_back(
            all, "1cWB5HCBdLjAuqGGReWE3R3CguuwSjw6RHn39s2yuDRTS5NsBgNiFpWgAnEx6VQi8csexkgYw3mdY"
                 "rMHr8x9i7aEwP8kZ7vccXWqKDvGv3u1GxFKPuAkn8JCPPGDMf3vMMnbzm6Nh9zh1gcNsMvH3ZNLm"
                 "P5fSG6DGbbi2tuwMWPthr4boWwCxf7ewSgNQeacyozhKDDQQ1qL5fQFUW52QKUZDZ5fw3KXNQJMc"
                 "NTcaB723LchjeKun7MuGW5qyCBZYzA1KjofN1gYBV3NqyhQJ3Ns746GNuf9N2pQPmHz4xpnSrrfC"
                 "vy6TVVz5d4PdrjeshsWQwpZsZGzvbdAdN8MKV5QsBDY");
        return p;
    }();
    return pairs;
}

TEST(Base58, PublishedPairsEncodeAndDecode) {
    for (const auto& [bytesHex, text] : publishedPairs()) {
        SCOPED_TRACE(text);
        EXPECT_EQ(base58Encode(unhex(bytesHex)), text);
        const auto decoded = base58Decode(text);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(hex(*decoded), bytesHex);
    }
}

TEST(Base58, ZerosAndLeadingOnes) {
    // The Solana System Program identifier: 32 zero bytes.
    const std::string systemProgram(32, '1');
    EXPECT_EQ(base58Encode(Bytes(32, 0)), systemProgram);
    EXPECT_EQ(base58Decode(systemProgram), Bytes(32, 0));

    EXPECT_EQ(base58Decode("1112"), (Bytes{0, 0, 0, 1}));
    EXPECT_EQ(base58Encode(Bytes{0, 0, 0, 1}), "1112");
    // Empty text is present and empty, not absent.
    const auto empty = base58Decode("");
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
    EXPECT_EQ(base58Encode(Bytes{}), "");
}

TEST(Base58, CharactersOutsideTheAlphabetAreAbsent) {
    for (const std::string text : {"0", "l", "2g ", "\xc3\xa9", "a3g\xe2\x80\x8bV"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(base58Decode(text).has_value());
    }
    EXPECT_FALSE(base58Decode(std::string("2g\0", 3)).has_value());
}

TEST(Base58, RandomRoundTrips) {
    // A fixed linear congruential sequence keeps the cases reproducible.
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(state >> 16);
    };
    for (int round = 0; round < 100; ++round) {
        const std::size_t zeros = static_cast<std::size_t>(round % 4);
        Bytes bytes(zeros, 0);
        const std::size_t size = next() % 70;
        for (std::size_t i = 0; i < size; ++i) {
            bytes.push_back(next());
        }
        const std::string text = base58Encode(bytes);
        EXPECT_EQ(text.find_first_not_of(base58Alphabet), std::string::npos);
        EXPECT_EQ(base58Decode(text), bytes) << text;
    }
}

} // namespace
} // namespace qm
