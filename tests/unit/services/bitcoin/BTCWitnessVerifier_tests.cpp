// Every sighash type, high and low S, and transactions read whole are checked against
// bitcoinjs-lib by the Bitcoin peer check (tests/peers/btc_peer.mjs); here, BIP-143's published
// signature and each way a witness that looks right can prove nothing.
#include "TestHex.h"
#include "core/crypto/Secp256k1.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCWitnessVerifier.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::unhex;

// BIP-143's native P2WPKH example, signed: input 1 spends 6 BTC from the P2WPKH output below.
const char* kSignedBip143 =
    "01000000000102fff7f7881a8099afa6940d42d1e7f6362bec38171ea3edf433541db4e4ad969f00000000494830"
    "450221008b9d1dc26ba6a9cb62127b02742fa9d754cd3bebf337f7a55d114c8e5cdd30be022040529b194ba3f9281a"
    "99f2b1c0a19c0489bc22ede944ccf4ecbab4cc618ef3ed01eeffffffef51e1b804cc89d182d279655c3aa89e815b1b"
    "309fe287d9b2b55d57b90ec68a0100000000ffffffff02202cb206000000001976a9148280b37df378db99f66f85c9"
    "5a783a76ac7a6d5988ac9093510d000000001976a9143bde42dbee7e4dbe6a21b2d50ce2f0167faa815988ac000247"
    "304402203609e17b84f6a7d30c80bfa610b5b4542f32a8a0d5447a12fb1366d7f01cc44a0220573a954c4518331561"
    "406f90300e8f3358f51928d43c212a8caed02de67eebee0121025476c2e83188368da1ff3e292e7acafcdb3566bb0a"
    "d253f62fc70f07aeee635711000000";

TEST(BTCWitnessVerifier, OnlyAWitnessThatVerifiesForTheCoinsScriptAndAmountSpendsIt) {
    const BTCTransactionParser::Transaction signedTx =
        BTCTransactionParser::transaction(kSignedBip143).value();
    const UTXO coin{"8AC60EB9575DB5B2D987E29F301B5B819EA83A5C6579D282D189CC04B8E151EF", 1,
                    600'000'000, 0, unhex("00141d0f172a0ecb48aee1be1f2687d2963ae33f71a1")};
    EXPECT_TRUE(BTCWitnessVerifier::spends(signedTx, coin));

    const auto spendsChanged = [&](auto change, UTXO spent) {
        BTCTransactionParser::Transaction tx = signedTx;
        change(tx, tx.body.inputs[1].witness);
        return BTCWitnessVerifier::spends(tx, spent);
    };
    using Tx = BTCTransactionParser::Transaction;
    using Witness = std::vector<Bytes>;
    const auto unchanged = [](Tx&, Witness&) {};
    UTXO other = coin;
    other.value += 1; // another amount
    EXPECT_FALSE(spendsChanged(unchanged, other));
    other = coin;
    other.scriptPubKey[0] = 0x51; // a witness program of another version
    EXPECT_FALSE(spendsChanged(unchanged, other));
    other = coin;
    other.outputIndex = 0; // another coin of the same transaction
    EXPECT_FALSE(spendsChanged(unchanged, other));
    EXPECT_FALSE(spendsChanged([](Tx&, Witness& w) { w[0][40] ^= 0x01; }, coin)); // a bit of S
    EXPECT_FALSE(spendsChanged([](Tx&, Witness& w) { w.push_back({}); }, coin));
    EXPECT_FALSE(spendsChanged([](Tx&, Witness& w) { w.pop_back(); }, coin));
    EXPECT_FALSE(spendsChanged([](Tx& tx, Witness&) { tx.signatureScripts[1] = {0x00}; }, coin));
    // Another key that signs the same digest: its hash is not the coin's program.
    const SecureBytes otherKey(Bytes(32, 0x22));
    EXPECT_FALSE(spendsChanged(
        [&](Tx&, Witness& w) {
            w[1] = Secp256k1::shared().compressedPublicKey(otherKey);
            w[0] = Secp256k1::shared().signDER(
                BTCSigner::signatureHash(signedTx.body, 1, w[1], coin.value), otherKey);
            w[0].push_back(BTCSigner::sighashAll);
        },
        coin));

    // Signed again by the coin's key (BIP-143 gives it): a sighash type BIP-143 does not define
    // proves nothing, nor a transaction spending the coin twice (ANYONECANPAY signs only its
    // own input, so the second one leaves the signature valid).
    const SecureBytes key(
        unhex("619c335025c7f4012e556c2a58b2506e30b8511b53ade95ea316fd8c3286feb9"));
    const auto resign = [&](std::uint8_t type) {
        return [&, type](Tx& tx, Witness& w) {
            w[0] = Secp256k1::shared().signDER(
                BTCSigner::signatureHash(tx.body, 1, w[1], coin.value, type), key);
            w[0].push_back(type);
        };
    };
    EXPECT_TRUE(spendsChanged(resign(0x81), coin));
    EXPECT_FALSE(spendsChanged(resign(0x04), coin));
    EXPECT_FALSE(spendsChanged(
        [&](Tx& tx, Witness& w) {
            resign(0x81)(tx, w);
            tx.body.inputs.push_back(tx.body.inputs[1]);
            tx.signatureScripts.push_back({});
        },
        coin));
}

} // namespace
} // namespace qm
