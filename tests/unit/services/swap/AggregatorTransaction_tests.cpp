// The aggregator's transaction is read before the wallet signs it: the slots must be the
// signatures the message requires, the first signer the wallet; signing changes the first slot
// and nothing else. (Transactions built by @solana/web3.js: the aggregator client's tests.)
#include "core/crypto/Ed25519.h"
#include "platform/Crypto.h"
#include "services/swap/AggregatorTransaction.h"
#include "services/swap/SwapError.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

const Bytes taker(32, 0xAA);
const Bytes other(32, 0xBB);

// `slots` empty slots, then a message (versioned when `version` is set) whose header requires
// `required` signatures, with the given account keys and a short tail.
Bytes wire(std::size_t slots, std::uint8_t required, const std::vector<Bytes>& keys,
           std::optional<std::uint8_t> version = std::nullopt) {
    Bytes out{static_cast<std::uint8_t>(slots)};
    out.resize(1 + 64 * slots, 0);
    if (version) {
        out.push_back(static_cast<std::uint8_t>(0x80 | *version));
    }
    out.insert(out.end(), {required, 0, 1, static_cast<std::uint8_t>(keys.size())});
    for (const Bytes& key : keys) {
        out.insert(out.end(), key.begin(), key.end());
    }
    out.insert(out.end(), 32, 0x11); // the blockhash
    out.insert(out.end(), {0});      // no instructions
    return out;
}

std::string failureOf(const Bytes& bytes, const Bytes& key = taker) {
    try {
        AggregatorTransaction::parse(bytes, key);
    } catch (const SwapError& error) {
        EXPECT_EQ(error.kind(), SwapError::Kind::transactionFailed);
        return error.what();
    }
    return "accepted";
}

TEST(AggregatorTransaction, RefusesWhatTheWalletMustNotSign) {
    EXPECT_EQ(failureOf({}), "Failed: Empty TX");
    // One byte saying one slot: no room for it, nor for a message.
    EXPECT_EQ(failureOf({1}), "Failed: Invalid TX format");
    // A slot count with no message after the slots.
    EXPECT_EQ(failureOf(Bytes(1 + 64, 0x01)), "Failed: Invalid TX format");
    // No slot at all: a signature would overwrite the message.
    Bytes none = wire(0, 0, {taker});
    EXPECT_EQ(failureOf(none), "Failed: Invalid TX format");
    EXPECT_EQ(failureOf(wire(0, 1, {taker})), "Failed: Invalid TX format");
    // Slots that disagree with the header, either way.
    EXPECT_EQ(failureOf(wire(1, 2, {taker, other})), "Failed: Invalid TX format");
    EXPECT_EQ(failureOf(wire(2, 1, {taker, other})), "Failed: Invalid TX format");
    // Someone else signs first: the first slot is theirs.
    EXPECT_EQ(failureOf(wire(2, 2, {other, taker})), "Failed: Invalid TX format");
    EXPECT_EQ(failureOf(wire(1, 1, {other}, 0)), "Failed: Invalid TX format");
    // Fewer keys than signers, and keys cut short.
    EXPECT_EQ(failureOf(wire(2, 2, {taker})), "Failed: Invalid TX format");
    Bytes cut = wire(1, 1, {taker});
    cut.resize(1 + 64 + 4 + 20);
    EXPECT_EQ(failureOf(cut), "Failed: Invalid TX format");
    // A message version that does not exist yet; a multi-byte slot count.
    EXPECT_EQ(failureOf(wire(1, 1, {taker}, 1)), "Failed: Invalid TX format");
    Bytes wide = wire(1, 1, {taker});
    wide[0] = 0x81;
    EXPECT_EQ(failureOf(wide), "Failed: Invalid TX format");
    // The wallet key must be a key.
    EXPECT_EQ(failureOf(wire(1, 1, {taker}), Bytes(31, 0xAA)), "Failed: Invalid TX format");
}

TEST(AggregatorTransaction, SignsTheMessageIntoTheFirstSlotOnly) {
    const SecureBytes key(Bytes(32, 7));
    const Bytes wallet = crypto::ed25519PublicKey(key);
    for (const auto version : {std::optional<std::uint8_t>(), std::optional<std::uint8_t>(0)}) {
        Bytes bytes = wire(2, 2, {wallet, other}, version);
        std::fill(bytes.begin() + 65, bytes.begin() + 129, 0x5C); // the other signer's slot
        const AggregatorTransaction parsed = AggregatorTransaction::parse(bytes, wallet);
        EXPECT_EQ(parsed.slotCount(), 2u);
        // The message starts after the two slots, at offset 129, version byte included.
        ASSERT_EQ(parsed.message().size(), bytes.size() - 129);
        EXPECT_TRUE(
            std::equal(parsed.message().begin(), parsed.message().end(), bytes.begin() + 129));
        const Bytes signature = ed25519Sign(parsed.message(), key);
        const Bytes signed_ = parsed.withTakerSignature(signature);
        ASSERT_EQ(signed_.size(), bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            EXPECT_EQ(signed_[i], i >= 1 && i <= 64 ? signature[i - 1] : bytes[i]) << i;
        }
        EXPECT_TRUE(crypto::ed25519Verify(Bytes(signed_.begin() + 1, signed_.begin() + 65),
                                          parsed.message(), wallet));
    }
}

} // namespace
} // namespace qm
