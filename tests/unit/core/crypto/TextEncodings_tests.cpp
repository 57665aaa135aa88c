// Random byte strings, junk texts and corrupted or random segwit addresses are compared with
// @scure/base and bitcoinjs-lib by the codec peer; these are the published lists and the
// refusals the peer does not reach.

#include "TestHex.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"

#include <cctype>
#include <gtest/gtest.h>
#include <string>
#include <vector>

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
    // clang-format off
    const std::pair<std::string, std::string> pairs[] = {
        {"", ""},
        {"61", "2g"},
        {"00eb15231dfceb60925886b67d065299925915aeb172c06647", "1NS17iag9jJgTHD1VXjvLCEnZuQ3rJDE9L"},
        {"00000000000000000000", "1111111111"},
        {"000111d38e5fc9071ffcd20b4a763cc9ae4f252bb4e48fd66a835e252ada93ff480d6dd43dc62a641155a5", "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"},
        {hex(all), "1cWB5HCBdLjAuqGGReWE3R3CguuwSjw6RHn39s2yuDRTS5NsBgNiFpWgAnEx6VQi8csexkgYw3mdYrMHr8x9i7aEwP8kZ7vccXWqKDvGv3u1GxFKPuAkn8JCPPGDMf3vMMnbzm6Nh9zh1gcNsMvH3ZNLmP5fSG6DGbbi2tuwMWPthr4boWwCxf7ewSgNQeacyozhKDDQQ1qL5fQFUW52QKUZDZ5fw3KXNQJMcNTcaB723LchjeKun7MuGW5qyCBZYzA1KjofN1gYBV3NqyhQJ3Ns746GNuf9N2pQPmHz4xpnSrrfCvy6TVVz5d4PdrjeshsWQwpZsZGzvbdAdN8MKV5QsBDY"},
    };
    // clang-format on
    for (const auto& [bytesHex, text] : pairs) {
        EXPECT_EQ(base58Encode(unhex(bytesHex)), text);
        const auto decoded = base58Decode(text);
        ASSERT_TRUE(decoded.has_value()) << text;
        EXPECT_EQ(hex(*decoded), bytesHex);
    }
    // A byte past ASCII must not index the digit table (the sanitizer build has no peer).
    EXPECT_FALSE(base58Decode("2g\xc3\xa9").has_value());
}

TEST(Bech32, PublishedValidAddressesDecodeToTheirScripts) {
    // The two last rows are on the invalid list, but the hrp and versions up to 31 are left for
    // the send flow to refuse.
    // clang-format off
    const std::pair<std::string, std::string> valid[] = {
        {"BC1QW508D6QEJXTDG4Y5R3ZARVARY0C5XW7KV8F3T4", "bc 0014751e76e8199196d454941c45d1b3a323f1433bd6"},
        {"bc1pw508d6qejxtdg4y5r3zarvary0c5xw7kw508d6qejxtdg4y5r3zarvary0c5xw7kt5nd6y", "bc 5128751e76e8199196d454941c45d1b3a323f1433bd6751e76e8199196d454941c45d1b3a323f1433bd6"},
        {"bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqzk5jj0", "bc 512079be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798"},
        {"tc1qw508d6qejxtdg4y5r3zarvary0c5xw7kg3g4ty", "tc 0014751e76e8199196d454941c45d1b3a323f1433bd6"},
        {"BC130XLXVLHEMJA6C4DQV22UAPCTQUPFHLXM9H8Z3K2E72Q4K9HCZ7VQ7ZWS8R", "bc 612079be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798"},
    };
    // clang-format on
    for (const auto& [address, expected] : valid) {
        SCOPED_TRACE(address);
        const auto decoded = segwitAddressDecode(address);
        ASSERT_TRUE(decoded.has_value());
        // The output script: OP_0 or OP_1..OP_16 (0x50 + version), then a push of the program.
        const Bytes opcodes{
            static_cast<std::uint8_t>(decoded->version == 0 ? 0 : 0x50 + decoded->version),
            static_cast<std::uint8_t>(decoded->program.size())};
        EXPECT_EQ(decoded->hrp + " " + hex(opcodes) + hex(decoded->program), expected);
        std::string lower = address;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_EQ(segwitAddressEncode(decoded->hrp, decoded->version, decoded->program), lower);
    }
}

TEST(Bech32, PublishedInvalidAndMalformedTextsAreAbsent) {
    // clang-format off
    std::vector<std::string> texts = {
        "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t5",                             // invalid checksum
        // Versions above 0 need Bech32m: BIP-173's version 17 and its versions 1, 16 and 2.
        "BC13W508D6QEJXTDG4Y5R3ZARVARY0C5XW7KN40WF2",
        "bc1pw508d6qejxtdg4y5r3zarvary0c5xw7kw508d6qejxtdg4y5r3zarvary0c5xw7k7grplx",
        "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqh2y7hd",         // Bech32 for v1
        "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kemeawh",                             // Bech32m for v0
        "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7v07qwwzcrf",       // excess padding
        "tb1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vpggkg4j",         // non-zero padding
        "bcqw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4",                              // no separator
        "1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4",                               // empty hrp
        "bc1qqqqq",                                                               // data too short
        "bc1gmk9yu",                                                              // no version
        "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3tb",                             // 'b' is no digit
        "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t\xc3\xa9",                      // nor past ASCII
    };
    // clang-format on
    // The encoder does not check program lengths, so it builds texts the decoder must refuse.
    texts.push_back(segwitAddressEncode("bc", 0, Bytes(21, 1)));
    texts.push_back(segwitAddressEncode("bc", 1, Bytes(41, 1)));
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(segwitAddressDecode(text).has_value());
    }
}

// A version is a single 5-bit value; these would have indexed past the charset.
TEST(Bech32, VersionsBeyond31AreRefused) {
    for (const int version : {32, -1}) {
        try {
            segwitAddressEncode("bc", version, Bytes(32, 0));
            ADD_FAILURE() << "encoded version " << version;
        } catch (const Bech32Error& error) {
            EXPECT_EQ(error.code(), Bech32Error::Code::invalidWitnessVersion);
        }
    }
}

} // namespace
} // namespace qm
