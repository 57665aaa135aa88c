#include "TestHex.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Ed25519.h"
#include "platform/Crypto.h"
#include "services/solana/SolanaRPCError.h"
#include "services/solana/SolanaTransaction.h"

#include <QByteArray>
#include <gtest/gtest.h>

using qm::Bytes;
using qm::SolanaRPCError;
using qm::SolanaTransaction;
using qm::test::hex;
using qm::test::unhex;

namespace {

const Bytes sender(32, 0x11);
const Bytes recipient(32, 0x22);
// A real mainnet-shaped blockhash: 32 bytes once decoded.
const std::string blockhash = "EkSnNWid2cvwEVnVx9aBqawnmiCNiDgp3gUdkDPTKN1N";

Bytes tail(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.end() - static_cast<std::ptrdiff_t>(count), bytes.end());
}

} // namespace

TEST(SolanaTransaction, CompactU16MatchesTheShortvecTable) {
    EXPECT_EQ(hex(SolanaTransaction::compactU16(127)), "7f");
    EXPECT_EQ(hex(SolanaTransaction::compactU16(128)), "8001");
    EXPECT_EQ(hex(SolanaTransaction::compactU16(16384)), "808001");
    EXPECT_EQ(hex(SolanaTransaction::compactU16(4194303)), "ffffff");
    EXPECT_DEATH(SolanaTransaction::compactU16(-1), "");
    EXPECT_DEATH(SolanaTransaction::compactU16(4194304), "");
}

TEST(SolanaTransaction, TransferMessageLayout) {
    const Bytes message = SolanaTransaction::transferMessage(sender, recipient, 1, blockhash);
    ASSERT_EQ(message.size(), 150u);
    EXPECT_EQ(hex(Bytes(message.begin(), message.begin() + 4)), "01000103");
    EXPECT_EQ(Bytes(message.begin() + 4, message.begin() + 36), sender);
    EXPECT_EQ(Bytes(message.begin() + 36, message.begin() + 68), recipient);
    EXPECT_EQ(Bytes(message.begin() + 68, message.begin() + 100), Bytes(32, 0));
    EXPECT_EQ(Bytes(message.begin() + 100, message.begin() + 132), *qm::base58Decode(blockhash));
    EXPECT_EQ(hex(Bytes(message.begin() + 132, message.begin() + 137)), "0102020001");
    EXPECT_EQ(hex(tail(message, 13)), "0c020000000100000000000000");

    const Bytes oneSol =
        SolanaTransaction::transferMessage(sender, recipient, 1'000'000'000, blockhash);
    EXPECT_EQ(hex(tail(oneSol, 8)), "00ca9a3b00000000");
    const Bytes maximum =
        SolanaTransaction::transferMessage(sender, recipient, UINT64_MAX, blockhash);
    EXPECT_EQ(hex(tail(maximum, 8)), "ffffffffffffffff");
}

TEST(SolanaTransaction, BlockhashOutsideTheAlphabetBecomesZeros) {
    const Bytes message = SolanaTransaction::transferMessage(sender, recipient, 5, "0");
    ASSERT_EQ(message.size(), 150u);
    EXPECT_EQ(Bytes(message.begin() + 100, message.begin() + 132), Bytes(32, 0));
}

TEST(SolanaTransaction, RefusesABlockhashOrKeyOfTheWrongLength) {
    // Each of these would shift every later field of the bytes the sender signs.
    for (const std::string& text :
         {std::string(""), qm::base58Encode(Bytes(31, 7)), blockhash + "2"}) {
        try {
            SolanaTransaction::transferMessage(sender, recipient, 1, text);
            ADD_FAILURE() << "accepted blockhash " << text;
        } catch (const SolanaRPCError& error) {
            EXPECT_EQ(error.kind(), SolanaRPCError::Kind::decodingError);
            EXPECT_EQ(std::string(error.what()).rfind("SolanaRPCClient: decoding error \u2014 ", 0),
                      0u);
        }
    }
    EXPECT_THROW(SolanaTransaction::transferMessage(Bytes(31, 1), recipient, 1, blockhash),
                 SolanaRPCError);
    EXPECT_THROW(SolanaTransaction::transferMessage(sender, Bytes(33, 1), 1, blockhash),
                 SolanaRPCError);
}

TEST(SolanaTransaction, SignedWireFormVerifiesUnderTheSendersKey) {
    // RFC 8032 test 1 secret key.
    const Bytes secret = unhex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
    const Bytes publicKey = qm::crypto::ed25519PublicKey(secret);
    const Bytes message = SolanaTransaction::transferMessage(publicKey, recipient, 42, blockhash);
    const Bytes signature = qm::ed25519Sign(message, secret);

    const Bytes wire = SolanaTransaction::signedTransaction(signature, message);
    ASSERT_EQ(wire.size(), 215u);
    EXPECT_EQ(wire[0], 1);
    EXPECT_EQ(Bytes(wire.begin() + 65, wire.end()), message);
    EXPECT_TRUE(qm::crypto::ed25519Verify(Bytes(wire.begin() + 1, wire.begin() + 65),
                                          Bytes(wire.begin() + 65, wire.end()), publicKey));

    const std::string base64 = SolanaTransaction::signedTransactionBase64(signature, message);
    EXPECT_EQ(base64.size(), 288u); // 215 bytes, padded
    EXPECT_EQ(base64.find('\n'), std::string::npos);
    const QByteArray decoded = QByteArray::fromBase64(QByteArray::fromStdString(base64),
                                                      QByteArray::AbortOnBase64DecodingErrors);
    EXPECT_EQ(Bytes(decoded.begin(), decoded.end()), wire);
}
