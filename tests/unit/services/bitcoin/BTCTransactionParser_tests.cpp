#include "TestHex.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCTransactionParser.h"

#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using Parsed = BTCTransactionParser::ParsedOutput;
using test::hex;
using test::unhex;

std::string transactionHex(const std::vector<BTCTxOutput>& outputs, bool witness) {
    std::vector<BTCTxInput> inputs = {{Bytes(32, 0x11), 0, 0xFFFFFFFD, {}}};
    if (witness) {
        inputs[0].witness = {Bytes(71, 0x30), Bytes(33, 0x02)};
    }
    return hex(BTCSigner::serialize(true, 2, inputs, outputs, 0));
}

TEST(BTCTransactionParser, AddressesOfTheFiveScriptKinds) {
    const std::vector<BTCTxOutput> outputs = {
        {1000, unhex("76a91462e907b15cbf27d5425399ebf6f0fb50ebb88f1888ac")},
        {2000, unhex("a91489abcdefabbaabbaabbaabbaabbaabbaabbaabba87")},
        {3000, unhex("0014751e76e8199196d454941c45d1b3a323f1433bd6")},
        {4000, unhex("00201863143c14c5166804bd19203356da136c985678cd4d27a1b8c6329604903262")},
        {5000, unhex("512079be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798")},
        {6000, unhex("6a0568656c6c6f")},
    };
    const auto parsed = BTCTransactionParser::parseOutputs(transactionHex(outputs, true));
    ASSERT_EQ(parsed.size(), 6u);
    EXPECT_EQ(parsed[0], (Parsed{1000, "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa"}));
    EXPECT_EQ(parsed[1], (Parsed{2000, "3EExK1K1TF3v7zsFtQHt14XqexCwgmXM1y"}));
    EXPECT_EQ(parsed[2], (Parsed{3000, "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4"}));
    EXPECT_EQ(parsed[3],
              (Parsed{4000, "bc1qrp33g0q5c5txsp9arysrx4k6zdkfs4nce4xj0gdcccefvpysxf3qccfmv3"}));
    EXPECT_EQ(parsed[4],
              (Parsed{5000, "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqzk5jj0"}));
    EXPECT_EQ(parsed[5], (Parsed{6000, std::nullopt})); // OP_RETURN
    // The same transaction without witness data gives the same outputs.
    EXPECT_EQ(BTCTransactionParser::parseOutputs(transactionHex(outputs, false)), parsed);
}

TEST(BTCTransactionParser, ScriptForms) {
    // Trailing bytes of a 25-byte P2PKH-led script are not checked.
    const Bytes odd = unhex("76a91462e907b15cbf27d5425399ebf6f0fb50ebb88f18ffff");
    EXPECT_EQ(BTCTransactionParser::address(odd), "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa");
    Bytes zero(25, 0);
    zero[0] = 0x76;
    zero[1] = 0xA9;
    zero[2] = 0x14;
    const auto allOnes = BTCTransactionParser::address(zero);
    ASSERT_TRUE(allOnes);
    EXPECT_EQ(allOnes->substr(0, 21), std::string(21, '1'));
    EXPECT_NE((*allOnes)[21], '1');
    EXPECT_FALSE(
        BTCTransactionParser::address(unhex("0014751e76e8199196d454941c45d1b3a323f1433b")));
    EXPECT_FALSE(BTCTransactionParser::address({}));
}

TEST(BTCTransactionParser, LenientHex) {
    EXPECT_EQ(hex(BTCTransactionParser::lenientHexToBytes("abc")), "ab0c");
    EXPECT_EQ(hex(BTCTransactionParser::lenientHexToBytes("zz01AB")), "01ab");
    EXPECT_EQ(hex(BTCTransactionParser::lenientHexToBytes("0g1f")), "1f");
}

TEST(BTCTransactionParser, ShortTruncatedAndHostileData) {
    EXPECT_TRUE(BTCTransactionParser::parseOutputs("00000000000000000000").empty()); // 10 bytes
    // 11 bytes: version, 0 inputs, 1 output whose value is cut short.
    EXPECT_TRUE(BTCTransactionParser::parseOutputs("0200000000010000000000").empty());
    // 0 inputs, 0 outputs.
    EXPECT_TRUE(BTCTransactionParser::parseOutputs("020000000000000000000000").empty());

    const std::vector<BTCTxOutput> outputs = {
        {1, unhex("0014751e76e8199196d454941c45d1b3a323f1433bd6")},
        {2, unhex("0014751e76e8199196d454941c45d1b3a323f1433bd6")},
    };
    const std::string full = transactionHex(outputs, false);
    // Cut inside the second output's script: the first output alone.
    const auto cut = BTCTransactionParser::parseOutputs(full.substr(0, full.size() - 8 - 10));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].value, 1u);
    // Cut inside the input: nothing.
    EXPECT_TRUE(BTCTransactionParser::parseOutputs(full.substr(0, 40)).empty());
    // A bad pair shifts the following bytes.
    EXPECT_NE(BTCTransactionParser::parseOutputs("zz" + full), cut);

    // Lengths near 2^64 must not wrap a bounds check.
    const std::string header = "02000000";
    const std::string hugeScriptLength = header + "01" + std::string(64, '0') + "00000000" +
                                         "ffffffffffffffffff" + std::string(40, '0');
    EXPECT_TRUE(BTCTransactionParser::parseOutputs(hugeScriptLength).empty());
    const std::string hugeInputCount = header + "ffffffffffffffffff" + std::string(80, '0');
    EXPECT_TRUE(BTCTransactionParser::parseOutputs(hugeInputCount).empty());
    const std::string hugeOutputScript =
        header + "00" + "01" + "0100000000000000" + "fffdffffffffffffff" + "00";
    EXPECT_TRUE(BTCTransactionParser::parseOutputs(hugeOutputScript).empty());
    const std::string manyOutputs =
        header + "00" + "ffffffffffffffffff" + "0100000000000000" + "00" + "0200000000000000";
    const auto many = BTCTransactionParser::parseOutputs(manyOutputs);
    // Two outputs (the second's script length reads as 0 at the end), then the data ends.
    ASSERT_EQ(many.size(), 2u);
    EXPECT_EQ(many[0], (Parsed{1, std::nullopt}));
    EXPECT_EQ(many[1], (Parsed{2, std::nullopt}));
}

} // namespace
} // namespace qm
