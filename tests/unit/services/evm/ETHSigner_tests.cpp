#include "TestHex.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"
#include "services/evm/ETHSigner.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::hex;
using test::unhex;

const std::string kRecipient = "3535353535353535353535353535353535353535";

ETHTransaction plainTransfer(std::uint64_t chainID) {
    ETHTransaction tx;
    tx.chainID = chainID;
    tx.gasLimit = 21000;
    tx.to = unhex(kRecipient);
    return tx;
}

TEST(ETHSigner, FieldEncodings) {
    // Nonce, value and data empty, no access list: 0x80, 0x80, 0x80 and 0xc0.
    EXPECT_EQ(hex(plainTransfer(1).encodeUnsigned()), "df0180808082520894" + kRecipient + "8080c0");
    EXPECT_EQ(hex(plainTransfer(42161).encodeUnsigned()).substr(0, 8), "e182a4b1");

    ETHTransaction tx = plainTransfer(1);
    tx.nonce = 9;
    tx.maxPriorityFeePerGas = UInt256(0, 0, 0, 1'000'000'000);
    tx.maxFeePerGas = UInt256(0, 0, 0, 20'000'000'000);
    tx.value = UInt256(0, 0, 0, 1'000'000'000'000'000'000);
    EXPECT_EQ(hex(tx.encodeUnsigned()),
              "f00109843b9aca008504a817c80082520894" + kRecipient + "880de0b6b3a764000080c0");

    // Call data from 56 bytes takes the long form, from 256 bytes with two length bytes.
    tx.data = Bytes(56, 0xab);
    EXPECT_NE(hex(tx.encodeUnsigned()).find("b838abab"), std::string::npos);
    tx.data = Bytes(256, 0xab);
    EXPECT_NE(hex(tx.encodeUnsigned()).find("b90100abab"), std::string::npos);
    EXPECT_EQ(hex(tx.encodeUnsigned()).substr(0, 6), "f90132");

    // A contract creation has no recipient: the empty byte string.
    ETHTransaction create = plainTransfer(1);
    create.to.clear();
    EXPECT_EQ(hex(create.encodeUnsigned()), "cb01808080825208808080c0");
}

TEST(ETHSigner, AccessList) {
    ETHTransaction tx = plainTransfer(1);
    EXPECT_EQ(hex(tx.encodeAccessList()), "c0");
    const std::string address(40, 'd');
    const std::string key0(64, '0');
    const std::string key1 = std::string(63, '0') + "1";
    tx.accessList = {{unhex(address), {unhex(key0), unhex(key1)}}, {unhex(kRecipient), {}}};
    const std::string first = "f85994" + address + "f842a0" + key0 + "a0" + key1;
    const std::string second = "d694" + kRecipient + "c0";
    EXPECT_EQ(hex(tx.encodeAccessList()), "f872" + first + second);
    EXPECT_NE(hex(tx.encodeUnsigned()).find(hex(tx.encodeAccessList())), std::string::npos);
}

TEST(ETHSigner, SignedForm) {
    const ETHTransaction tx = plainTransfer(1);
    const std::string body = hex(tx.encodeUnsigned()).substr(2); // the nine fields
    const Bytes r = unhex("00" + std::string(62, '1'));
    const Bytes s = unhex(std::string(64, '2'));
    // yParity 0 is 0x80, a 31-byte r gets 0x9f.
    EXPECT_EQ(hex(tx.encodeSigned(0, r, s)),
              "02f861" + body + "809f" + std::string(62, '1') + "a0" + std::string(64, '2'));
    EXPECT_EQ(hex(tx.encodeSigned(1, Bytes(32, 0), s)),
              "02f842" + body + "0180a0" + std::string(64, '2'));

    const Bytes key = keccak256(test::ascii("cow"));
    const Bytes signedTx = ETHSigner::sign(tx, key);
    EXPECT_EQ(ETHSigner::sign(tx, key), signedTx); // deterministic
    const auto [compact, recovery] = Secp256k1::shared().signRecoverable(
        keccak256(concat(Bytes{0x02}, tx.encodeUnsigned())), key);
    EXPECT_EQ(signedTx, tx.encodeSigned(static_cast<std::uint8_t>(recovery),
                                        ByteView(compact).first(32), ByteView(compact).last(32)));
    EXPECT_EQ(hex(signedTx).substr(0, 4), "02f8");
}

TEST(ETHSigner, KeyFailures) {
    const ETHTransaction tx = plainTransfer(1);
    for (std::size_t size : {0u, 33u}) {
        try {
            ETHSigner::sign(tx, Bytes(size, 1));
            ADD_FAILURE() << size;
        } catch (const ETHSignerError& error) {
            EXPECT_EQ(error.code(), ETHSignerError::Code::invalidPrivateKey);
            EXPECT_STREQ(error.what(), "ETHSigner: invalid private key");
        }
    }
    // Zero and the group order are no secp256k1 scalars.
    for (const Bytes& key :
         {Bytes(32, 0),
          unhex("fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141")}) {
        try {
            ETHSigner::sign(tx, key);
            ADD_FAILURE();
        } catch (const ETHSignerError& error) {
            EXPECT_EQ(error.code(), ETHSignerError::Code::signingFailed);
            EXPECT_STREQ(error.what(),
                         "ETHSigner: signing failed \u2014 Secp256k1: ECDSA signing failed");
        }
    }
}

} // namespace
} // namespace qm
