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
    Bytes script{static_cast<std::uint8_t>(address.version == 0 ? 0 : 0x50 + address.version),
                 static_cast<std::uint8_t>(address.program.size())};
    script.insert(script.end(), address.program.begin(), address.program.end());
    return hex(script);
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
        {"tb1qrp33g0q5c5txsp9arysrx4k6zdkfs4nce4xj0gdcccefvpysxf3q0sl5k7", "tb",
         "00201863143c14c5166804bd19203356da136c985678cd4d27a1b8c6329604903262"},
        {"bc1pw508d6qejxtdg4y5r3zarvary0c5xw7kw508d6qejxtdg4y5r3zarvary0c5xw7kt5nd6y", "bc",
         "5128751e76e8199196d454941c45d1b3a323f1433bd6751e76e8199196d454941c45d1b3a323f1433bd6"},
        {"BC1SW50QGDZ25J", "bc", "6002751e"},
        {"bc1zw508d6qejxtdg4y5r3zarvaryvaxxpcs", "bc", "5210751e76e8199196d454941c45d1b3a323"},
        {"tb1qqqqqp399et2xygdj5xreqhjjvcmzhxw4aywxecjdzew6hylgvsesrxh6hy", "tb",
         "0020000000c4a5cad46221b2a187905e5266362b99d5e91c6ce24d165dab93e86433"},
        {"tb1pqqqqp399et2xygdj5xreqhjjvcmzhxw4aywxecjdzew6hylgvsesf3hn0c", "tb",
         "5120000000c4a5cad46221b2a187905e5266362b99d5e91c6ce24d165dab93e86433"},
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

TEST(Bech32, PublishedChecksumStringsSatisfyThePolymod) {
    // BIP-173 (constant 1) and BIP-350 (Bech32m constant) valid strings: not addresses,
    // so only the building blocks are checked.
    struct Case {
        std::string text;
        std::uint32_t constant;
    };
    const std::vector<Case> cases = {
        {"A12UEL5L", bech32Constant},
        {"a12uel5l", bech32Constant},
        {"an83characterlonghumanreadablepartthatcontainsthenumber1andtheexcludedcharactersbio1"
         "tt5tgs",
         bech32Constant},
        {"abcdef1qpzry9x8gf2tvdw0s3jn54khce6mua7lmqqqxw", bech32Constant},
        {"?1ezyfcl", bech32Constant},
        {"A1LQFN3A", bech32mConstant},
        {"a1lqfn3a", bech32mConstant},
        {"an83characterlonghumanreadablepartthatcontainsthetheexcludedcharactersbioandnumber11"
         "sg7hg6",
         bech32mConstant},
        {"abcdef1l7aum6echk45nj3s0wdvt2fg8x9yrzpqzd3ryx", bech32mConstant},
        {"?1v759aa", bech32mConstant},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text = lower(c.text);
        const std::size_t separator = text.rfind('1');
        const std::string hrp = text.substr(0, separator);
        Bytes values = bech32HrpExpand(hrp);
        Bytes data;
        for (const char ch : text.substr(separator + 1)) {
            data.push_back(static_cast<std::uint8_t>(bech32Charset.find(ch)));
        }
        values.insert(values.end(), data.begin(), data.end());
        EXPECT_EQ(bech32Polymod(values), c.constant);
        // The checksum we would create for the same data is the published one.
        const Bytes payload(data.begin(), data.end() - 6);
        EXPECT_EQ(bech32CreateChecksum(hrp, payload, c.constant),
                  Bytes(data.end() - 6, data.end()));
    }
}

TEST(Bech32, PublishedInvalidAddressesAreAbsent) {
    for (const std::string address : {
             // BIP-173
             "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t5", // invalid checksum
             "bc1rw5uspcuh",                               // program of 1 byte
             "bc10w508d6qejxtdg4y5r3zarvary0c5xw7kw508d6qejxtdg4y5r3zarvary0c5xw7kw5rljs90",
             "BC1QR508D6QEJXTDG4Y5R3ZARVARYV98GJ9P",  // version 0 with 16 bytes
             "bc1zw508d6qejxtdg4y5r3zarvaryvqyzf3du", // more than 4 bits of padding
             "tb1qrp33g0q5c5txsp9arysrx4k6zdkfs4nce4xj0gdcccefvpysxf3pjxtptv", // non-zero padding
             "bc1gmk9yu",                                                      // empty data
             // BIP-173's version 17 under the Bech32 constant: since BIP-350 every version
             // above 0 needs Bech32m.
             "BC13W508D6QEJXTDG4Y5R3ZARVARY0C5XW7KN40WF2",
             // BIP-173's valid versions 1, 16 and 2, checksummed before BIP-350: now invalid.
             "bc1pw508d6qejxtdg4y5r3zarvary0c5xw7kw508d6qejxtdg4y5r3zarvary0c5xw7k7grplx",
             "BC1SW50QA3JX3S", "bc1zw508d6qejxtdg4y5r3zarvaryvg6kdaj",
             "tb1pw508d6qejxtdg4y5r3zarqfsj6c3",
             // BIP-350
             "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqh2y7hd", // Bech32 for v1
             "tb1z0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqglt7rf", // Bech32 for v2
             "BC1S0XLXVLHEMJA6C4DQV22UAPCTQUPFHLXM9H8Z3K2E72Q4K9HCZ7VQ54WELL", // Bech32 for v16
             "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kemeawh",                     // Bech32m for v0
             "tb1q0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vq24jc47", // Bech32m for v0
             "bc1p38j9r5y49hruaue7wxjce0updqjuyyx0kh56v8s25huc6995vvpql3jow4", // 'o' in checksum
             "bc1pw5dgrnzv",                                                   // program of 1 byte
             "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7v8n0nx0muaewav253zgeav", // 41
             "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7v07qwwzcrf", // excess padding
             "tb1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vpggkg4j",   // non-zero padding
         }) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(segwitAddressDecode(address).has_value());
    }
}

TEST(Bech32, InvalidListEntriesTheDecoderDeliberatelyAccepts) {
    // The decoder returns the hrp for the caller to compare, accepts versions up to 31 and
    // lower-cases the whole text first; these BIP lists' invalid entries therefore decode,
    // and it is the send flow that refuses an unexpected hrp or version.
    const auto unknownHrp = segwitAddressDecode("tc1qw508d6qejxtdg4y5r3zarvary0c5xw7kg3g4ty");
    ASSERT_TRUE(unknownHrp.has_value());
    EXPECT_EQ(unknownHrp->hrp, "tc");
    EXPECT_EQ(unknownHrp->version, 0);
    EXPECT_EQ(hex(unknownHrp->program), "751e76e8199196d454941c45d1b3a323f1433bd6");

    const auto unknownHrpV1 =
        segwitAddressDecode("tc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vq5zuyut");
    ASSERT_TRUE(unknownHrpV1.has_value());
    EXPECT_EQ(unknownHrpV1->hrp, "tc");
    EXPECT_EQ(unknownHrpV1->version, 1);

    const auto version17 =
        segwitAddressDecode("BC130XLXVLHEMJA6C4DQV22UAPCTQUPFHLXM9H8Z3K2E72Q4K9HCZ7VQ7ZWS8R");
    ASSERT_TRUE(version17.has_value());
    EXPECT_EQ(version17->version, 17);
    EXPECT_EQ(hex(version17->program),
              "79be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798");

    const auto mixedCase =
        segwitAddressDecode("tb1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vq47Zagq");
    ASSERT_TRUE(mixedCase.has_value());
    EXPECT_EQ(mixedCase->hrp, "tb");
    EXPECT_EQ(mixedCase->version, 1);
}

TEST(Bech32, EncodingShapesAndConstants) {
    const Bytes program20(20, 0x75);
    const std::string v0 = segwitAddressEncode("bc", 0, program20);
    EXPECT_EQ(v0.size(), 42u);
    EXPECT_EQ(v0[3], 'q'); // the version character follows "bc1"
    const Bytes program32(32, 0x79);
    const std::string v1 = segwitAddressEncode("bc", 1, program32);
    EXPECT_EQ(v1.size(), 62u);
    EXPECT_EQ(v1[3], 'p');

    // The same data under the other constant does not decode.
    auto withConstant = [](int version, ByteView program, std::uint32_t constant) {
        Bytes data{static_cast<std::uint8_t>(version)};
        const Bytes groups = convertBits(program, 8, 5, true);
        data.insert(data.end(), groups.begin(), groups.end());
        const Bytes checksum = bech32CreateChecksum("bc", data, constant);
        data.insert(data.end(), checksum.begin(), checksum.end());
        std::string text = "bc1";
        for (const std::uint8_t v : data) {
            text.push_back(bech32Charset[v]);
        }
        return text;
    };
    EXPECT_EQ(withConstant(0, program20, bech32Constant), v0);
    EXPECT_EQ(withConstant(1, program32, bech32mConstant), v1);
    EXPECT_FALSE(segwitAddressDecode(withConstant(0, program20, bech32mConstant)).has_value());
    EXPECT_FALSE(segwitAddressDecode(withConstant(1, program32, bech32Constant)).has_value());

    // Upper case decodes, with the hrp lower-cased.
    std::string upper = v1;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const auto decoded = segwitAddressDecode(upper);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, (SegwitAddress{"bc", 1, program32}));
}

TEST(Bech32, ProgramLengthLimits) {
    // The encoder does not check lengths, so it builds the texts the decoder must refuse.
    EXPECT_FALSE(segwitAddressDecode(segwitAddressEncode("bc", 0, Bytes(21, 1))).has_value());
    EXPECT_FALSE(segwitAddressDecode(segwitAddressEncode("bc", 0, Bytes(2, 1))).has_value());
    EXPECT_FALSE(segwitAddressDecode(segwitAddressEncode("bc", 1, Bytes(41, 1))).has_value());
    EXPECT_FALSE(segwitAddressDecode(segwitAddressEncode("bc", 1, Bytes(1, 1))).has_value());
    EXPECT_FALSE(segwitAddressDecode(segwitAddressEncode("bc", 1, Bytes{})).has_value());
    for (const std::size_t size : {2u, 20u, 32u, 40u}) {
        const auto decoded = segwitAddressDecode(segwitAddressEncode("bc", 1, Bytes(size, 7)));
        ASSERT_TRUE(decoded.has_value()) << size;
        EXPECT_EQ(decoded->program, Bytes(size, 7));
    }
    EXPECT_TRUE(segwitAddressDecode(segwitAddressEncode("bc", 0, Bytes(32, 1))).has_value());
}

TEST(Bech32, EveryVersionRoundTripsAndLargerVersionsAreRefused) {
    for (int version = 0; version < 32; ++version) {
        const Bytes program(version == 0 ? 20 : 2 + version, static_cast<std::uint8_t>(version));
        const auto decoded = segwitAddressDecode(segwitAddressEncode("bc", version, program));
        ASSERT_TRUE(decoded.has_value()) << version;
        EXPECT_EQ(*decoded, (SegwitAddress{"bc", version, program}));
    }
    // A version is a single 5-bit value; these would have indexed past the charset.
    for (const int version : {32, 33, 255, 1000, -1}) {
        try {
            segwitAddressEncode("bc", version, Bytes(32, 0));
            ADD_FAILURE() << "encoded version " << version;
        } catch (const Bech32Error& error) {
            EXPECT_EQ(error.code(), Bech32Error::Code::invalidWitnessVersion);
            EXPECT_STREQ(error.what(), "Bech32: invalid witness version");
        }
    }
}

TEST(Bech32, MalformedTextsAreAbsent) {
    const std::string good = "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4";
    ASSERT_TRUE(segwitAddressDecode(good).has_value());

    // A data part that is only a valid checksum, with no version before it.
    Bytes checksum = bech32CreateChecksum("bc", {}, bech32Constant);
    std::string onlyChecksum = "bc1";
    for (const std::uint8_t v : checksum) {
        onlyChecksum.push_back(bech32Charset[v]);
    }
    for (const std::string& text : std::vector<std::string>{
             std::string(),
             std::string("bcqw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4"), // no separator
             good.substr(2),                                           // empty hrp
             std::string("bc1qqqqq"),                                  // data too short
             onlyChecksum, good.substr(0, good.size() - 1) + "b",      // 'b' is not in the charset
             good.substr(0, good.size() - 1) + "\xc3\xa9",             // non-ASCII
             good + " ", " " + good.substr(0, 2) + good.substr(2),
             good.substr(0, 10) + good.substr(11), // a character dropped
         }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(segwitAddressDecode(text).has_value());
    }
}

TEST(Bech32, ConvertBits) {
    // 0xff 0x00 regrouped into 5 bits: 11111 11100 00000 0(0000) padded.
    EXPECT_EQ(convertBits(Bytes{0xff, 0x00}, 8, 5, true), (Bytes{31, 28, 0, 0}));
    EXPECT_EQ(convertBits(Bytes{0xff, 0x00}, 8, 5, false), (Bytes{31, 28, 0}));
    EXPECT_EQ(convertBitsChecked(Bytes{31, 28, 0, 0}, 5, 8, false), (Bytes{0xff, 0x00}));
    // Leftover non-zero bits, too many leftover bits, and an input value too wide.
    EXPECT_FALSE(convertBitsChecked(Bytes{31, 28, 0, 1}, 5, 8, false).has_value());
    EXPECT_FALSE(convertBitsChecked(Bytes{31, 28, 0, 0, 0, 0}, 5, 8, false).has_value());
    EXPECT_FALSE(convertBitsChecked(Bytes{32}, 5, 8, false).has_value());
    EXPECT_EQ(convertBitsChecked(Bytes{1}, 5, 8, true), (Bytes{0x08}));

    EXPECT_EQ(bech32HrpExpand("bc"), (Bytes{3, 3, 0, 2, 3}));
    EXPECT_EQ(bech32Polymod(Bytes{}), 1u);
}

} // namespace
} // namespace qm
