#include "TestHex.h"
#include "core/crypto/Bech32.h"

#include <cctype>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::hex;
using test::unhex;

// The output script a decoded address pays to: OP_0 or OP_1..OP_16, then a push of the program.
std::string scriptPubKeyHex(const SegwitAddress& address) {
    const Bytes opcodes{
        static_cast<std::uint8_t>(address.version == 0 ? 0 : 0x50 + address.version),
        static_cast<std::uint8_t>(address.program.size())};
    return hex(opcodes) + hex(address.program);
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

struct ValidAddress {
    std::string address;
    std::string hrp;
    std::string scriptPubKey;
};

TEST(Bech32, PublishedValidAddressesDecodeToTheirScripts) {
    // BIP-350's valid list (BIP-173's version-0 entries included).
    const std::vector<ValidAddress> valid = {
        {"BC1QW508D6QEJXTDG4Y5R3ZARVARY0C5XW7KV8F3T4", "bc",
         "0014751e76e8199196d454941c45d1b3a323f1433bd6"},
        {"bc1pw508d6qejxtdg4y5r3zarvary0c5xw7kw508d6qejxtdg4y5r3zarvary0c5xw7kt5nd6y", "bc",
         "5128751e76e8199196d454941c45d1b3a323f1433bd6751e76e8199196d454941c45d1b3a323f1433bd6"},
        {"bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqzk5jj0", "bc",
         "512079be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798"},
    };
    for (const auto& v : valid) {
        SCOPED_TRACE(v.address);
        const auto decoded = segwitAddressDecode(v.address);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(decoded->hrp, v.hrp);
        EXPECT_EQ(scriptPubKeyHex(*decoded), v.scriptPubKey);
        // Encoding gives back the canonical lower-case text.
        EXPECT_EQ(segwitAddressEncode(decoded->hrp, decoded->version, decoded->program),
                  lower(v.address));
    }
}

TEST(Bech32, PublishedInvalidAddressesAreAbsent) {
    for (const std::string address : {
             // BIP-173
             "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t5", // invalid checksum
             // BIP-173's version 17 under the Bech32 constant: since BIP-350 every version
             // above 0 needs Bech32m.
             "BC13W508D6QEJXTDG4Y5R3ZARVARY0C5XW7KN40WF2",
             // BIP-173's valid versions 1, 16 and 2, checksummed before BIP-350: now invalid.
             "bc1pw508d6qejxtdg4y5r3zarvary0c5xw7kw508d6qejxtdg4y5r3zarvary0c5xw7k7grplx",
             // BIP-350
             "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqh2y7hd",   // Bech32 for v1
             "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kemeawh",                       // Bech32m for v0
             "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7v07qwwzcrf", // excess padding
             "tb1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vpggkg4j",   // non-zero padding
         }) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(segwitAddressDecode(address).has_value());
    }
}

TEST(Bech32, InvalidListEntriesTheDecoderDeliberatelyAccepts) {
    // The hrp and versions up to 31 are left for the send flow to refuse.
    const auto unknownHrp = segwitAddressDecode("tc1qw508d6qejxtdg4y5r3zarvary0c5xw7kg3g4ty");
    ASSERT_TRUE(unknownHrp.has_value());
    EXPECT_EQ(*unknownHrp,
              (SegwitAddress{"tc", 0, unhex("751e76e8199196d454941c45d1b3a323f1433bd6")}));
    const auto version17 =
        segwitAddressDecode("BC130XLXVLHEMJA6C4DQV22UAPCTQUPFHLXM9H8Z3K2E72Q4K9HCZ7VQ7ZWS8R");
    ASSERT_TRUE(version17.has_value());
    EXPECT_EQ(version17->version, 17);
    EXPECT_EQ(hex(version17->program),
              "79be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798");
}

TEST(Bech32, EveryVersionRoundTripsAndLargerVersionsAreRefused) {
    for (int version = 0; version < 32; ++version) {
        const Bytes program(version == 0 ? 20 : 2 + version, static_cast<std::uint8_t>(version));
        const auto decoded = segwitAddressDecode(segwitAddressEncode("bc", version, program));
        ASSERT_TRUE(decoded.has_value()) << version;
        EXPECT_EQ(*decoded, (SegwitAddress{"bc", version, program}));
    }
    // A version is a single 5-bit value; these would have indexed past the charset.
    for (const int version : {32, -1}) {
        try {
            segwitAddressEncode("bc", version, Bytes(32, 0));
            ADD_FAILURE() << "encoded version " << version;
        } catch (const Bech32Error& error) {
            EXPECT_EQ(error.code(), Bech32Error::Code::invalidWitnessVersion);
        }
    }
}

TEST(Bech32, MalformedTextsAreAbsent) {
    // Corrupted checksums are the codec peer's; these are the other ways to fail. The encoder
    // does not check program lengths, so it builds the texts the decoder must refuse.
    for (const std::string& text : {
             segwitAddressEncode("bc", 0, Bytes(21, 1)), segwitAddressEncode("bc", 1, Bytes(41, 1)),
             std::string("bcqw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4"), // no separator
             std::string("1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4"),  // empty hrp
             std::string("bc1qqqqq"),                                  // data too short
             std::string("bc1gmk9yu"), // a valid checksum with no version
             std::string("bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3tb"), // 'b' is not in the charset
             std::string("bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t\xc3\xa9"), // nor past ASCII
         }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(segwitAddressDecode(text).has_value());
    }
}

} // namespace
} // namespace qm
