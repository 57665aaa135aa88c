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

TEST(BTCTransactionParser, OddScriptsLenientHexAndTruncatedOrHostileData) {
    // Trailing bytes of a 25-byte P2PKH-led script are not checked.
    const Bytes odd = unhex("76a91462e907b15cbf27d5425399ebf6f0fb50ebb88f18ffff");
    EXPECT_EQ(BTCTransactionParser::address(odd), "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa");
    for (const auto& [text, bytes] :
         {std::pair{"abc", "ab0c"}, {"zz01AB", "01ab"}, {"0g1f", "1f"}}) {
        EXPECT_EQ(hex(BTCTransactionParser::lenientHexToBytes(text)), bytes) << text;
    }

    const Bytes p2wpkh = unhex("0014751e76e8199196d454941c45d1b3a323f1433bd6");
    const std::string full = hex(BTCSigner::serialize(
        true, 2, {{Bytes(32, 0x11), 0, 0xFFFFFFFD, {}}}, {{1, p2wpkh}, {2, p2wpkh}}, 0));
    const std::string v2 = "02000000";
    const std::string huge = "ff" + std::string(16, 'f');
    // Lengths near 2^64 must not wrap a bounds check.
    for (const std::string& text :
         {std::string("00000000000000000000"), // 10 bytes
          v2 + "00010000000000",               // an output value cut short
          v2 + "0000" + "00000000",            // 0 inputs, 0 outputs
          full.substr(0, 40),                  // cut inside the input
          v2 + "01" + std::string(72, '0') + huge + std::string(40, '0'),
          v2 + huge + std::string(80, '0'),
          v2 + "0001" + "0100000000000000" + "fffdffffffffffffff" + "00"}) {
        EXPECT_TRUE(BTCTransactionParser::parseOutputs(text).empty()) << text;
    }
    // Cut inside the second output's script: the first output alone.
    const auto cut = BTCTransactionParser::parseOutputs(full.substr(0, full.size() - 8 - 10));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].value, 1u);
    // Two outputs (the second's script length reads as 0 at the end), then the data ends.
    EXPECT_EQ(BTCTransactionParser::parseOutputs(v2 + "00" + huge + "0100000000000000" + "00" +
                                                 "0200000000000000"),
              (std::vector<Parsed>{{1, std::nullopt}, {2, std::nullopt}}));
}

} // namespace
} // namespace qm
