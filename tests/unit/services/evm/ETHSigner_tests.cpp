// Serialisations and signatures of ordinary transactions are checked byte for byte against
// ethers by the peer_evm test; these cover what random signatures reach only by chance.
#include "TestHex.h"
#include "services/evm/ETHSigner.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::hex;
using test::unhex;

ETHTransaction plainTransfer() {
    ETHTransaction tx;
    tx.chainID = 1;
    tx.gasLimit = 21000;
    tx.to = unhex("3535353535353535353535353535353535353535");
    return tx;
}

TEST(ETHSigner, SignedFormDropsLeadingZerosOfRAndS) {
    const ETHTransaction tx = plainTransfer();
    const std::string body = hex(tx.encodeUnsigned()).substr(2); // the nine fields
    const Bytes s = unhex(std::string(64, '2'));
    // yParity 0 is 0x80, a 31-byte r gets 0x9f, a zero r the empty string.
    EXPECT_EQ(hex(tx.encodeSigned(0, unhex("00" + std::string(62, '1')), s)),
              "02f861" + body + "809f" + std::string(62, '1') + "a0" + std::string(64, '2'));
    EXPECT_EQ(hex(tx.encodeSigned(1, Bytes(32, 0), s)),
              "02f842" + body + "0180a0" + std::string(64, '2'));
}

TEST(ETHSigner, KeyFailures) {
    const auto expectFailure = [](const Bytes& key, ETHSignerError::Code code, const char* text) {
        try {
            ETHSigner::sign(plainTransfer(), key);
            ADD_FAILURE() << hex(key);
        } catch (const ETHSignerError& error) {
            EXPECT_EQ(error.code(), code);
            EXPECT_STREQ(error.what(), text);
        }
    };
    for (std::size_t size : {0u, 33u}) {
        expectFailure(Bytes(size, 1), ETHSignerError::Code::invalidPrivateKey,
                      "ETHSigner: invalid private key");
    }
    // Zero and the group order are no secp256k1 scalars.
    for (const Bytes& key :
         {Bytes(32, 0),
          unhex("fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141")}) {
        expectFailure(key, ETHSignerError::Code::signingFailed,
                      "ETHSigner: signing failed \u2014 Secp256k1: ECDSA signing failed");
    }
}

} // namespace
} // namespace qm
