// Signed multi-input transactions are compared byte for byte with bitcoinjs-lib, and every
// signature verified there, by the Bitcoin peer check (tests/peers/btc_peer.mjs).
#include "TestHex.h"
#include "core/crypto/Secp256k1.h"
#include "services/bitcoin/BTCSigner.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::hex;
using test::unhex;

// BIP-143's native P2WPKH example: input 1 spends 6 BTC from a P2WPKH output.
const char* kUnsignedBip143 =
    "0100000002fff7f7881a8099afa6940d42d1e7f6362bec38171ea3edf433541db4e4ad969f0000000000eeffff"
    "ffef51e1b804cc89d182d279655c3aa89e815b1b309fe287d9b2b55d57b90ec68a0100000000ffffffff02202c"
    "b206000000001976a9148280b37df378db99f66f85c95a783a76ac7a6d5988ac9093510d000000001976a9143b"
    "de42dbee7e4dbe6a21b2d50ce2f0167faa815988ac11000000";

TEST(BTCSigner, Bip143NativeP2WPKHVector) {
    BTCUnsignedTransaction tx;
    tx.version = 1;
    const auto input = [](const char* hash, std::uint32_t index, std::uint32_t sequence) {
        return BTCTxInput{unhex(hash), index, sequence, {}};
    };
    tx.inputs = {
        input("fff7f7881a8099afa6940d42d1e7f6362bec38171ea3edf433541db4e4ad969f", 0, 0xffffffee),
        input("ef51e1b804cc89d182d279655c3aa89e815b1b309fe287d9b2b55d57b90ec68a", 1, 0xffffffff)};
    tx.outputs = {
        {112340000, unhex("76a9148280b37df378db99f66f85c95a783a76ac7a6d5988ac")},
        {223450000, unhex("76a9143bde42dbee7e4dbe6a21b2d50ce2f0167faa815988ac")},
    };
    tx.lockTime = 0x11;
    EXPECT_EQ(hex(BTCSigner::serialize(true, tx.version, tx.inputs, tx.outputs, tx.lockTime)),
              kUnsignedBip143); // no witness yet: the legacy form
    const SecureBytes key(
        unhex("619c335025c7f4012e556c2a58b2506e30b8511b53ade95ea316fd8c3286feb9"));
    const Bytes publicKey = Secp256k1::shared().compressedPublicKey(key);
    const Bytes digest = BTCSigner::signatureHash(tx, 1, publicKey, 600000000);
    EXPECT_EQ(hex(digest), "c37af31116d1b27caf68aae9e3ac82f1477929014d5b917657d0eb49478cb670");
    // The example's signature is RFC 6979 and low-S, as ours.
    const Bytes signature = Secp256k1::shared().signDER(digest, key);
    EXPECT_EQ(hex(signature),
              "304402203609e17b84f6a7d30c80bfa610b5b4542f32a8a0d5447a12fb1366d7f01cc44a0220573a95"
              "4c4518331561406f90300e8f3358f51928d43c212a8caed02de67eebee");
    // The witness-free form (the one a txid hashes) leaves witnesses out once there are some.
    tx.inputs[1].witness = {signature, publicKey};
    EXPECT_EQ(hex(BTCSigner::serialize(false, tx.version, tx.inputs, tx.outputs, tx.lockTime)),
              kUnsignedBip143);
}

TEST(BTCSigner, Failures) {
    BTCUnsignedTransaction tx;
    tx.inputs.resize(3, {Bytes(32, 1), 0, 0xFFFFFFFD, {}});
    tx.outputs = {{1000, Bytes{0x51}}};
    std::vector<SecureBytes> keys;
    const auto failure =
        [&](std::size_t utxoCount) -> std::pair<BTCSigningError::Code, std::string> {
        try {
            BTCSigner::sign(tx, std::vector<UTXO>(utxoCount), keys);
        } catch (const BTCSigningError& e) {
            return {e.code(), e.what()};
        }
        return {BTCSigningError::Code::signatureFailed, "signed"};
    };
    // Both counts wrong: the UTXO count is reported.
    EXPECT_EQ(failure(2),
              std::pair(BTCSigningError::Code::inputUtxoCountMismatch,
                        std::string("Number of UTXOs must match number of transaction inputs.")));
    EXPECT_EQ(failure(3).second, "Number of private keys must match number of transaction inputs.");
    for (std::size_t size : {32, 32, 31}) {
        keys.emplace_back(Bytes(size, 7));
    }
    EXPECT_EQ(failure(3), std::pair(BTCSigningError::Code::signatureFailed,
                                    std::string("ECDSA signature failed for input 2.")));
    // The inputs before the failing one keep their witnesses.
    EXPECT_EQ(tx.inputs[0].witness.size(), 2u);
    EXPECT_EQ(tx.inputs[1].witness.size(), 2u);
    EXPECT_TRUE(tx.inputs[2].witness.empty());
}

// The peer's scripts stay below 0xFD bytes; the longer forms are checked here.
TEST(BTCSigner, CompactSize) {
    const auto encode = [](std::uint64_t n) {
        Bytes out;
        BTCSigner::appendCompactSize(out, n);
        return hex(out);
    };
    EXPECT_EQ(encode(0xFC), "fc");
    EXPECT_EQ(encode(0xFD), "fdfd00");
    EXPECT_EQ(encode(0x10000), "fe00000100");
    EXPECT_EQ(encode(0x100000000), "ff0000000001000000");
}

} // namespace
} // namespace qm
