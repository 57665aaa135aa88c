// Transfer messages are compared byte for byte with @solana/web3.js (amounts up to 2^64 - 1),
// and signed transactions verified by web3.js and executed by litesvm, in the Solana peer
// check (tests/peers/solana_peer.mjs).
#include "services/solana/SolanaRPCError.h"
#include "services/solana/SolanaTransaction.h"

#include <gtest/gtest.h>

using qm::Bytes;
using qm::SolanaRPCError;
using qm::SolanaTransaction;

namespace {

const Bytes sender(32, 0x11);
const Bytes recipient(32, 0x22);
const std::string blockhash = "EkSnNWid2cvwEVnVx9aBqawnmiCNiDgp3gUdkDPTKN1N";

} // namespace

// A blockhash outside the alphabet becomes zeros; one of the wrong length (a short one: the
// peer check) or a key of the wrong length is refused, as each would shift every later field
// of the bytes the sender signs.
TEST(SolanaTransaction, BlockhashAndKeyChecks) {
    const Bytes message = SolanaTransaction::transferMessage(sender, recipient, 5, "0");
    ASSERT_EQ(message.size(), 150u);
    EXPECT_EQ(Bytes(message.begin() + 100, message.begin() + 132), Bytes(32, 0));
    EXPECT_THROW(SolanaTransaction::transferMessage(sender, recipient, 1, blockhash + "2"),
                 SolanaRPCError);
    EXPECT_THROW(SolanaTransaction::transferMessage(Bytes(31, 1), recipient, 1, blockhash),
                 SolanaRPCError);
    EXPECT_THROW(SolanaTransaction::transferMessage(sender, Bytes(33, 1), 1, blockhash),
                 SolanaRPCError);
}
