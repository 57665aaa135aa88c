// Transactions are checked against ethers by the peer_evm test, our addresses against a real
// node in EVMAnvil_tests; these are published vectors and forms random cases rarely reach.
#include "TestHex.h"
#include "core/encoding/Hex.h"
#include "services/evm/ETHSigner.h"
#include "services/evm/EthereumAddress.h"
#include "services/evm/RLP.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::hex;
using test::unhex;

TEST(Hex, RoundTripsAndRefusals) {
    EXPECT_EQ(bytesToHex(unhex("00ab")), "0x00ab");
    // One optional prefix, even digits of either case.
    EXPECT_EQ(hexToBytes("0x"), Bytes{});
    EXPECT_EQ(hexToBytes("0xAbCd"), unhex("abcd"));
    EXPECT_EQ(hexToBytes("abcd"), unhex("abcd"));
    for (const char* bad : {"0xabc", "0xag", "0x0x12"}) {
        EXPECT_FALSE(hexToBytes(bad)) << bad;
    }
    // Unsigned and below 2^64; leading zeros do not count.
    EXPECT_EQ(hexToUInt64("0xffffffffffffffff"), UINT64_MAX);
    EXPECT_EQ(hexToUInt64("1f"), 31u);
    EXPECT_EQ(hexToUInt64("0x00000000000000000001"), 1u);
    for (const char* bad : {"0x10000000000000000", "", "0x", "-1", " 0x1", "0x0x1", "0x1g"}) {
        EXPECT_FALSE(hexToUInt64(bad)) << bad;
    }
    EXPECT_FALSE(hexToBytes(std::nullopt));
    EXPECT_FALSE(hexToUInt64(std::nullopt));
}

TEST(EthereumAddress, EIP55PublishedExamplesAndTheGenerator) {
    for (const std::string expected : {"0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed",
                                       "0x52908400098527886E0F7030069857D2E4169EE7",
                                       "0xde709f2102306220921060314715629080e2fb77"}) {
        EXPECT_EQ(eip55Checksum(unhex(expected)), expected);
    }
    // Private key 1, with or without the 0x04 of its public key.
    const auto generator =
        unhex("0479be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798"
              "483ada7726a3c4655da4fbfc0e1108a8fd17b448a68554199c47d08ffb10d4b8");
    EXPECT_EQ(ethereumAddress(generator), "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
    EXPECT_EQ(ethereumAddress(ByteView(generator).subspan(1)),
              "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
}

TEST(RLP, PublishedVectors) {
    const auto str = [](std::string_view text) { return RLP::encodeBytes(test::ascii(text)); };
    const Bytes empty = RLP::encodeList({});
    const Bytes one = RLP::encodeList({empty});
    const std::string lorem = "Lorem ipsum dolor sit amet, consectetur adipisicing elit"; // 56
    const std::pair<Bytes, std::string> vectors[] = {
        {str("dog"), "83646f67"},
        {RLP::encodeList({str("cat"), str("dog")}), "c88363617483646f67"},
        {str(""), "80"},
        {empty, "c0"},
        {RLP::encodeBytes(Bytes{0x0f}), "0f"},
        {RLP::encodeUInt64(1024), "820400"},
        {RLP::encodeUInt256(UInt256()), "80"},
        {RLP::encodeList({empty, one, RLP::encodeList({empty, one})}), "c7c0c1c0c3c0c1c0"},
        {str(lorem), "b838" + hex(test::ascii(lorem))},
    };
    for (const auto& [encoded, expected] : vectors) {
        EXPECT_EQ(hex(encoded), expected);
    }
}

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
    using Code = ETHSignerError::Code;
    const std::string invalid = "ETHSigner: invalid private key";
    const std::string failed = "ETHSigner: signing failed \u2014 Secp256k1: ECDSA signing failed";
    const std::tuple<Bytes, Code, std::string> rows[] = {
        {Bytes(33, 1), Code::invalidPrivateKey, invalid},
        {Bytes(32, 0), Code::signingFailed, failed}, // zero and the group order
        {unhex("fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141"),
         Code::signingFailed, failed},
    };
    for (const auto& [key, code, text] : rows) {
        try {
            ETHSigner::sign(plainTransfer(), key);
            ADD_FAILURE() << hex(key);
        } catch (const ETHSignerError& error) {
            EXPECT_EQ(error.code(), code);
            EXPECT_EQ(error.what(), text);
        }
    }
}

} // namespace
} // namespace qm
