#include "TestHex.h"
#include "core/crypto/Secp256k1.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/ElectrumScriptHash.h"

#include <gtest/gtest.h>
#include <secp256k1.h>

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

BTCUnsignedTransaction bip143Transaction() {
    BTCUnsignedTransaction tx;
    tx.version = 1;
    tx.inputs = {
        {unhex("fff7f7881a8099afa6940d42d1e7f6362bec38171ea3edf433541db4e4ad969f"),
         0,
         0xffffffee,
         {}},
        {unhex("ef51e1b804cc89d182d279655c3aa89e815b1b309fe287d9b2b55d57b90ec68a"),
         1,
         0xffffffff,
         {}},
    };
    tx.outputs = {
        {112340000, unhex("76a9148280b37df378db99f66f85c95a783a76ac7a6d5988ac")},
        {223450000, unhex("76a9143bde42dbee7e4dbe6a21b2d50ce2f0167faa815988ac")},
    };
    tx.lockTime = 0x11;
    return tx;
}

bool verifies(ByteView derSignature, ByteView digest, ByteView publicKey) {
    const secp256k1_context* ctx = secp256k1_context_static;
    secp256k1_ecdsa_signature signature;
    secp256k1_pubkey key;
    return secp256k1_ecdsa_signature_parse_der(ctx, &signature, derSignature.data(),
                                               derSignature.size()) == 1 &&
           secp256k1_ec_pubkey_parse(ctx, &key, publicKey.data(), publicKey.size()) == 1 &&
           secp256k1_ecdsa_verify(ctx, &signature, digest.data(), &key) == 1;
}

TEST(BTCSigner, Bip143NativeP2WPKHVector) {
    const auto tx = bip143Transaction();
    EXPECT_EQ(hex(BTCSigner::serialize(true, tx.version, tx.inputs, tx.outputs, tx.lockTime)),
              kUnsignedBip143); // no witness yet: the legacy form
    EXPECT_EQ(hex(BTCSigner::hashPrevouts(tx.inputs)),
              "96b827c8483d4e9b96712b6713a7b68d6e8003a781feba36c31143470b4efd37");
    EXPECT_EQ(hex(BTCSigner::hashSequence(tx.inputs)),
              "52b0a642eea2fb7ae638c36f6252b6750293dbe574a806984b8e4d8548339a3b");
    EXPECT_EQ(hex(BTCSigner::hashOutputs(tx.outputs)),
              "863ef3e1a92afbfdb97f31ad0fc7683ee943e9abcf2501590ff8f6551f47e5e5");
    const SecureBytes key(
        unhex("619c335025c7f4012e556c2a58b2506e30b8511b53ade95ea316fd8c3286feb9"));
    const Bytes publicKey = Secp256k1::shared().compressedPublicKey(key);
    EXPECT_EQ(hex(publicKey), "025476c2e83188368da1ff3e292e7acafcdb3566bb0ad253f62fc70f07aeee6357");
    const Bytes digest = BTCSigner::signatureHash(tx, 1, publicKey, 600000000);
    EXPECT_EQ(hex(digest), "c37af31116d1b27caf68aae9e3ac82f1477929014d5b917657d0eb49478cb670");
    // The example's signature is RFC 6979 and low-S, as ours.
    EXPECT_EQ(hex(Secp256k1::shared().signDER(digest, key)),
              "304402203609e17b84f6a7d30c80bfa610b5b4542f32a8a0d5447a12fb1366d7f01cc44a0220573a95"
              "4c4518331561406f90300e8f3358f51928d43c212a8caed02de67eebee");
}

TEST(BTCSigner, SignsEveryInputAndSerialisesWithWitnesses) {
    const SecureBytes keyA(
        unhex("0000000000000000000000000000000000000000000000000000000000000001"));
    const SecureBytes keyB(
        unhex("619c335025c7f4012e556c2a58b2506e30b8511b53ade95ea316fd8c3286feb9"));
    BTCUnsignedTransaction tx;
    tx.inputs = {{Bytes(32, 0xAA), 3, 0xFFFFFFFD, {}}, {Bytes(32, 0xBB), 0, 0xFFFFFFFD, {}}};
    tx.outputs = {{50'000, unhex("0014751e76e8199196d454941c45d1b3a323f1433bd6")}};
    const std::vector<UTXO> utxos = {{"aa", 3, 40'000, 1, {}}, {"bb", 0, 20'000, 1, {}}};
    std::vector<SecureBytes> keys;
    keys.push_back(keyA.clone());
    keys.push_back(keyB.clone());
    const auto unsignedCopy = tx;
    BTCSigner::sign(tx, utxos, keys);

    for (std::size_t i = 0; i < 2; ++i) {
        const auto& witness = tx.inputs[i].witness;
        ASSERT_EQ(witness.size(), 2u);
        EXPECT_EQ(witness[0].back(), 0x01);
        EXPECT_LE(witness[0].size() - 1, 72u);
        EXPECT_EQ(witness[1], Secp256k1::shared().compressedPublicKey(keys[i]));
        const Bytes der(witness[0].begin(), witness[0].end() - 1);
        EXPECT_TRUE(verifies(der,
                             BTCSigner::signatureHash(unsignedCopy, i, witness[1], utxos[i].value),
                             witness[1]));
    }
    // Nothing but the witnesses changed.
    auto stripped = tx;
    for (auto& input : stripped.inputs) {
        input.witness.clear();
    }
    EXPECT_EQ(stripped, unsignedCopy);

    const Bytes wire = BTCSigner::serialize(true, tx.version, tx.inputs, tx.outputs, tx.lockTime);
    const Bytes legacy =
        BTCSigner::serialize(false, tx.version, tx.inputs, tx.outputs, tx.lockTime);
    EXPECT_EQ(legacy, BTCSigner::serialize(true, 2, unsignedCopy.inputs, tx.outputs, 0));
    EXPECT_EQ(hex(Bytes(wire.begin(), wire.begin() + 6)), "020000000001");
    // Legacy body = wire minus marker, flag and witness section.
    std::size_t witnessBytes = 0;
    for (const auto& input : tx.inputs) {
        witnessBytes += 1 + 1 + input.witness[0].size() + 1 + 33;
    }
    EXPECT_EQ(wire.size(), legacy.size() + 2 + witnessBytes);
    EXPECT_EQ(hex(Bytes(wire.end() - 4 - 34, wire.end() - 4)), "21" + hex(tx.inputs[1].witness[1]));
}

TEST(BTCSigner, OneSequenceChangesEveryDigest) {
    auto tx = bip143Transaction();
    const Bytes pk(33, 2);
    const Bytes before0 = BTCSigner::signatureHash(tx, 0, pk, 1);
    const Bytes before1 = BTCSigner::signatureHash(tx, 1, pk, 1);
    tx.inputs[0].sequence = 5;
    EXPECT_NE(BTCSigner::signatureHash(tx, 0, pk, 1), before0);
    EXPECT_NE(BTCSigner::signatureHash(tx, 1, pk, 1), before1);
}

TEST(BTCSigner, Failures) {
    BTCUnsignedTransaction tx;
    tx.inputs.resize(3, {Bytes(32, 1), 0, 0xFFFFFFFD, {}});
    tx.outputs = {{1000, Bytes{0x51}}};
    const std::vector<UTXO> two(2);
    std::vector<SecureBytes> keys;
    try {
        BTCSigner::sign(tx, two, keys); // both counts wrong: the UTXO count is reported
        ADD_FAILURE();
    } catch (const BTCSigningError& e) {
        EXPECT_EQ(e.code(), BTCSigningError::Code::inputUtxoCountMismatch);
        EXPECT_STREQ(e.what(), "Number of UTXOs must match number of transaction inputs.");
    }
    const std::vector<UTXO> three(3);
    try {
        BTCSigner::sign(tx, three, keys);
        ADD_FAILURE();
    } catch (const BTCSigningError& e) {
        EXPECT_STREQ(e.what(), "Number of private keys must match number of transaction inputs.");
    }
    keys.emplace_back(Bytes(32, 7));
    keys.emplace_back(Bytes(32, 8));
    keys.emplace_back(Bytes(31, 9));
    try {
        BTCSigner::sign(tx, three, keys);
        ADD_FAILURE();
    } catch (const BTCSigningError& e) {
        EXPECT_EQ(e.code(), BTCSigningError::Code::signatureFailed);
        EXPECT_STREQ(e.what(), "ECDSA signature failed for input 2.");
    }
    // The inputs before the failing one keep their witnesses.
    EXPECT_EQ(tx.inputs[0].witness.size(), 2u);
    EXPECT_EQ(tx.inputs[1].witness.size(), 2u);
    EXPECT_TRUE(tx.inputs[2].witness.empty());

    // A key of the right length that is no valid secret (zero).
    keys[2] = SecureBytes(Bytes(32, 0));
    EXPECT_THROW(BTCSigner::sign(tx, three, keys), BTCSigningError);
}

TEST(BTCSigner, CompactSizeAndLongScripts) {
    const auto encode = [](std::uint64_t n) {
        Bytes out;
        BTCSigner::appendCompactSize(out, n);
        return hex(out);
    };
    EXPECT_EQ(encode(0xFC), "fc");
    EXPECT_EQ(encode(0xFD), "fdfd00");
    EXPECT_EQ(encode(0x10000), "fe00000100");
    EXPECT_EQ(encode(0x100000000), "ff0000000001000000");

    const std::vector<BTCTxOutput> outputs = {{1, Bytes(300, 0x6a)}};
    const Bytes wire = BTCSigner::serialize(true, 2, {}, outputs, 0);
    // version, 0 inputs, 1 output, value, FD 2C 01, script, lock time
    EXPECT_EQ(hex(Bytes(wire.begin(), wire.begin() + 17)), "0200000000010100000000000000fd2c01");
    EXPECT_EQ(wire.size(), 4u + 1 + 1 + 8 + 3 + 300 + 4);
}

} // namespace
} // namespace qm
