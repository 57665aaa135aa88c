// Addresses of all five script kinds, with and without witness data, are compared with
// bitcoinjs-lib by the Bitcoin peer check (tests/peers/btc_peer.mjs); here, what it cannot
// produce: odd scripts, lenient hex and truncated or hostile data.
#include "TestHex.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCTransactionParser.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

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

// The txid is the double SHA-256 of the form without marker, flag and witnesses: the genesis
// coinbase (legacy) and BIP-143's signed native P2WPKH example (segwit, one input with a
// signature script and one with a witness), their ids as bitcoinjs-lib gives them. Anything
// but exactly one whole transaction in hex has none.
TEST(BTCTransactionParser, TheTransactionIDIsOfTheFormWithoutWitnesses) {
    const std::string genesis =
        "01000000010000000000000000000000000000000000000000000000000000000000000000ffffffff4d04"
        "ffff001d0104455468652054696d65732030332f4a616e2f32303039204368616e63656c6c6f72206f6e20"
        "6272696e6b206f66207365636f6e64206261696c6f757420666f722062616e6b73ffffffff0100f2052a01"
        "000000434104678afdb0fe5548271967f1a67130b7105cd6a828e03909a67962e0ea1f61deb649f6bc3f4c"
        "ef38c4f35504e51ec112de5c384df7ba0b8d578a4c702b6bf11d5fac00000000";
    EXPECT_EQ(BTCTransactionParser::transactionID(genesis),
              "4a5e1e4baab89f3a32518a88c31bc87f618f76673e2cc77ab2127b7afdeda33b");
    const std::string segwit =
        "01000000000102fff7f7881a8099afa6940d42d1e7f6362bec38171ea3edf433541db4e4ad969f000000004948"
        "30450221008b9d1dc26ba6a9cb62127b02742fa9d754cd3bebf337f7a55d114c8e5cdd30be022040529b194b"
        "a3f9281a99f2b1c0a19c0489bc22ede944ccf4ecbab4cc618ef3ed01eeffffffef51e1b804cc89d182d27965"
        "5c3aa89e815b1b309fe287d9b2b55d57b90ec68a0100000000ffffffff02202cb206000000001976a9148280"
        "b37df378db99f66f85c95a783a76ac7a6d5988ac9093510d000000001976a9143bde42dbee7e4dbe6a21b2d5"
        "0ce2f0167faa815988ac000247304402203609e17b84f6a7d30c80bfa610b5b4542f32a8a0d5447a12fb1366"
        "d7f01cc44a0220573a954c4518331561406f90300e8f3358f51928d43c212a8caed02de67eebee0121025476"
        "c2e83188368da1ff3e292e7acafcdb3566bb0ad253f62fc70f07aeee635711000000";
    const std::string segwitID = "e8151a2af31c368a35053ddd4bdb285a8595c769a3ad83e0fa02314a602d4609";
    EXPECT_EQ(BTCTransactionParser::transactionID(segwit), segwitID);
    std::string upper = segwit;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_EQ(BTCTransactionParser::transactionID(upper), segwitID);

    // The witness-free form of the segwit one: the same id.
    const std::string witnessFree = "01000000" + segwit.substr(12, segwit.size() - 12 - 8 - 216) +
                                    segwit.substr(segwit.size() - 8);
    EXPECT_EQ(BTCTransactionParser::transactionID(witnessFree), segwitID);
    // The coins it spends, as Electrum names them: each input's hash byte-reversed, its index.
    const auto spending = BTCTransactionParser::spending(segwit);
    ASSERT_TRUE(spending);
    EXPECT_EQ(spending->id, segwitID);
    EXPECT_EQ(spending->outpoints,
              (std::vector<std::string>{
                  "9f96ade4b41d5433f4eda31e1738ec2b36f6e7d1420d94a6af99801a88f7f7ff:0",
                  "8ac60eb9575db5b2d987e29f301b5b819ea83a5c6579d282d189cc04b8e151ef:1"}));

    for (const std::string& broken : std::vector<std::string>{
             std::string(), "zz", genesis + "00", genesis.substr(0, genesis.size() - 2),
             genesis.substr(1), genesis + "0", "not a transaction",
             // Its witnesses cut short, or missing with the marker there.
             segwit.substr(0, segwit.size() - 8 - 2) + segwit.substr(segwit.size() - 8),
             segwit.substr(0, segwit.size() - 8 - 216) + segwit.substr(segwit.size() - 8),
             // Read otherwise by a node: a count in a longer form than it needs, a marker
             // announcing witnesses there are none of, another flag, no output.
             genesis.substr(0, 8) + "fd0100" + genesis.substr(10),
             segwit.substr(0, segwit.size() - 8 - 216) + "0000" + segwit.substr(segwit.size() - 8),
             segwit.substr(0, 8) + "0002" + segwit.substr(12),
             "0100000001" + std::string(72, '0') + "00ffffffff" + "00" + "00000000",
             // Counts near 2^64 with nothing behind them.
             "01000000ffffffffffffffffff",
             "0100000001" + std::string(72, '0') + "ffffffffffffffffff",
             "010000000001ffffffffffffffffff"}) {
        EXPECT_EQ(BTCTransactionParser::transactionID(broken), std::nullopt) << broken;
        EXPECT_FALSE(BTCTransactionParser::spending(broken)) << broken;
    }
}

} // namespace
} // namespace qm
