// Transfer messages are compared byte for byte with @solana/web3.js (amounts up to 2^64 - 1),
// and signed transactions verified by web3.js and executed by litesvm, in the Solana peer
// check (tests/peers/solana_peer.mjs).
#include "TestHex.h"
#include "core/crypto/Base58.h"
#include "services/solana/SolanaRPCError.h"
#include "services/solana/SolanaTransaction.h"

#include <gtest/gtest.h>

using qm::Bytes;
using qm::SolanaRPCError;
using qm::SolanaTransaction;
using qm::test::hex;

namespace {

const Bytes sender(32, 0x11);
const Bytes recipient(32, 0x22);
const std::string blockhash = "EkSnNWid2cvwEVnVx9aBqawnmiCNiDgp3gUdkDPTKN1N";

} // namespace

// Transfers only ever use one-byte lengths; the longer forms are checked here.
TEST(SolanaTransaction, CompactU16MatchesTheShortvecTable) {
    EXPECT_EQ(hex(SolanaTransaction::compactU16(127)), "7f");
    EXPECT_EQ(hex(SolanaTransaction::compactU16(128)), "8001");
    EXPECT_EQ(hex(SolanaTransaction::compactU16(16384)), "808001");
    EXPECT_EQ(hex(SolanaTransaction::compactU16(4194303)), "ffffff");
    EXPECT_DEATH(SolanaTransaction::compactU16(-1), "");
    EXPECT_DEATH(SolanaTransaction::compactU16(4194304), "");
}

// A blockhash outside the alphabet becomes zeros; one of the wrong length is refused.
TEST(SolanaTransaction, BlockhashAndKeyChecks) {
    const Bytes message = SolanaTransaction::transferMessage(sender, recipient, 5, "0");
    ASSERT_EQ(message.size(), 150u);
    EXPECT_EQ(Bytes(message.begin() + 100, message.begin() + 132), Bytes(32, 0));

    // Each of these would shift every later field of the bytes the sender signs.
    for (const std::string& text : {qm::base58Encode(Bytes(31, 7)), blockhash + "2"}) {
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
