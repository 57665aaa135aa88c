// Addresses of all five script kinds, with and without witness data, are compared with
// bitcoinjs-lib by the Bitcoin peer check (tests/peers/btc_peer.mjs); here, what it cannot
// produce: odd scripts, lenient hex and truncated or hostile data.
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

TEST(BTCTransactionParser, ScriptFormsAndLenientHex) {
    // Trailing bytes of a 25-byte P2PKH-led script are not checked.
    const Bytes odd = unhex("76a91462e907b15cbf27d5425399ebf6f0fb50ebb88f18ffff");
    EXPECT_EQ(BTCTransactionParser::address(odd), "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa");
    EXPECT_FALSE(
        BTCTransactionParser::address(unhex("0014751e76e8199196d454941c45d1b3a323f1433b")));

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

    const Bytes p2wpkh = unhex("0014751e76e8199196d454941c45d1b3a323f1433bd6");
    const std::string full = hex(BTCSigner::serialize(
        true, 2, {{Bytes(32, 0x11), 0, 0xFFFFFFFD, {}}}, {{1, p2wpkh}, {2, p2wpkh}}, 0));
    // Cut inside the second output's script: the first output alone.
    const auto cut = BTCTransactionParser::parseOutputs(full.substr(0, full.size() - 8 - 10));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].value, 1u);
    // Cut inside the input: nothing.
    EXPECT_TRUE(BTCTransactionParser::parseOutputs(full.substr(0, 40)).empty());

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
    // Two outputs (the second's script length reads as 0 at the end), then the data ends.
    EXPECT_EQ(BTCTransactionParser::parseOutputs(manyOutputs),
              (std::vector<Parsed>{{1, std::nullopt}, {2, std::nullopt}}));
}

} // namespace
} // namespace qm
