// Transfer messages are compared byte for byte with @solana/web3.js (amounts up to 2^64 - 1),
// and signed transactions verified by web3.js and executed by litesvm, in the Solana peer
// check (tests/peers/solana_peer.mjs).
#include "core/crypto/Base58.h"
#include "services/solana/SolanaMessage.h"
#include "services/solana/SolanaRPCError.h"
#include "services/solana/SolanaTransaction.h"

#include <gtest/gtest.h>

using qm::Bytes;
using qm::SolanaFeeBound;
using qm::SolanaMessage;
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

namespace {

// A legacy message of one signer with the compute-budget program and `instructions` (program
// index, data), each naming no accounts; `tail` bytes after it.
Bytes budgetMessage(const std::vector<std::pair<std::uint8_t, Bytes>>& instructions,
                    std::size_t tail = 0) {
    Bytes out{1, 0, 1, 2};
    out.insert(out.end(), sender.begin(), sender.end());
    const Bytes program = *qm::base58Decode("ComputeBudget111111111111111111111111111111");
    out.insert(out.end(), program.begin(), program.end());
    out.insert(out.end(), 32, 0x33); // the blockhash
    out.push_back(static_cast<std::uint8_t>(instructions.size()));
    for (const auto& [index, data] : instructions) {
        out.insert(out.end(), {index, 0, static_cast<std::uint8_t>(data.size())});
        out.insert(out.end(), data.begin(), data.end());
    }
    out.insert(out.end(), tail, 0);
    return out;
}

Bytes littleEndian(std::uint8_t tag, std::uint64_t value, int bytes) {
    Bytes out{tag};
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return out;
}

} // namespace

// What a message can cost its fee payer: the priority fee rounded up, from the limit it sets
// or else the runtime's default for its other instructions, never past the maximum.
TEST(SolanaTransaction, FeeBoundOfAMessage) {
    const auto bound = [](const Bytes& bytes) {
        const std::optional<SolanaMessage> message = SolanaMessage::parse(bytes);
        EXPECT_TRUE(message);
        return message ? SolanaFeeBound::of(*message) : SolanaFeeBound{};
    };
    const SolanaFeeBound transfer =
        bound(SolanaTransaction::transferMessage(sender, recipient, 5, blockhash));
    EXPECT_EQ(transfer.signatureFee, 5000u);
    EXPECT_EQ(transfer.priorityFee, 0u);

    const Bytes price = littleEndian(3, 1'000'001, 8); // micro-lamports per unit
    const Bytes limit = littleEndian(2, 300'000, 4);
    const std::pair<std::uint8_t, Bytes> other{0, {}}; // any other program's instruction
    EXPECT_EQ(bound(budgetMessage({{1, price}, {1, limit}})).priorityFee, 300'001u);
    // No limit: 200,000 units for each other instruction, at most 1,400,000.
    EXPECT_EQ(bound(budgetMessage({{1, price}, other, other})).priorityFee, 400'001u);
    EXPECT_EQ(
        bound(budgetMessage({{1, price}, other, other, other, other, other, other, other, other}))
            .priorityFee,
        1'400'002u);
    EXPECT_EQ(bound(budgetMessage({{1, price}, {1, littleEndian(2, 5'000'000, 4)}})).priorityFee,
              1'400'002u);
    // A second price or limit fails on chain; the larger one bounds it.
    EXPECT_EQ(bound(budgetMessage({{1, littleEndian(3, 2'000'000, 8)}, {1, price}, {1, limit}}))
                  .priorityFee,
              600'000u);
    EXPECT_EQ(bound(budgetMessage({{1, littleEndian(3, ~0ULL, 8)}, {1, limit}})).priorityFee,
              5'534'023'222'112'865'485u);
    EXPECT_EQ(
        bound(budgetMessage({{1, littleEndian(3, ~0ULL, 8)}, {1, littleEndian(2, 1'400'000, 4)}}))
            .priorityFee,
        std::nullopt);

    // One whole message or nothing: bytes left over, a program that is not one of its own keys.
    EXPECT_FALSE(SolanaMessage::parse(budgetMessage({{1, price}}, 1)));
    EXPECT_FALSE(SolanaMessage::parse(budgetMessage({{2, price}})));
    Bytes cut = budgetMessage({{1, price}});
    cut.pop_back();
    EXPECT_FALSE(SolanaMessage::parse(cut));
}

// Compact-u16 at each length boundary (the shortvec vectors of the Solana SDK, and 16383 /
// 16384 where a third byte starts), written by the wallet and read back as a message's
// instruction data length.
TEST(SolanaTransaction, CompactU16AtItsLengthBoundaries) {
    const std::vector<std::pair<int, Bytes>> vectors = {
        {0, {0x00}},
        {1, {0x01}},
        {127, {0x7f}},
        {128, {0x80, 0x01}},
        {255, {0xff, 0x01}},
        {256, {0x80, 0x02}},
        {16383, {0xff, 0x7f}},
        {16384, {0x80, 0x80, 0x01}},
        {32767, {0xff, 0xff, 0x01}},
        {65535, {0xff, 0xff, 0x03}},
    };
    for (const auto& [value, encoded] : vectors) {
        EXPECT_EQ(SolanaTransaction::compactU16(value), encoded) << value;
        // A message whose one instruction carries `value` data bytes.
        Bytes message{1, 0, 1, 2};
        message.insert(message.end(), sender.begin(), sender.end());
        message.insert(message.end(), recipient.begin(), recipient.end());
        message.insert(message.end(), 32, 0x33); // the blockhash
        message.insert(message.end(), {1, 1, 0});
        message.insert(message.end(), encoded.begin(), encoded.end());
        message.insert(message.end(), static_cast<std::size_t>(value), 0x44);
        const std::optional<SolanaMessage> read = SolanaMessage::parse(message);
        ASSERT_TRUE(read) << value;
        ASSERT_EQ(read->instructions.size(), 1u);
        EXPECT_EQ(read->instructions[0].data, Bytes(static_cast<std::size_t>(value), 0x44))
            << value;
    }
}
