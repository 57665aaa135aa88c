// What a replacement of the wallet's earlier attempts must pay, read from their stored signed
// bytes: a tenth more than the highest fee cap and tip at the nonce and at least 1 wei more
// (what geth and anvil ask), nothing more for the very same transaction; and signed bytes that
// are not exactly what the wallet writes are read as nothing.
#include "core/crypto/Keccak.h"
#include "core/encoding/Hex.h"
#include "services/evm/ETHSignedTransaction.h"
#include "services/evm/RLP.h"
#include "state/flows/EVMReplacementFee.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

const Bytes key(32, 0x11);

UInt256 wei(std::uint64_t value) {
    return {0, 0, 0, value};
}

ETHTransaction payment(std::uint64_t nonce, std::uint64_t feeCap, std::uint64_t tip) {
    ETHTransaction tx;
    tx.chainID = 1;
    tx.nonce = nonce;
    tx.maxFeePerGas = wei(feeCap);
    tx.maxPriorityFeePerGas = wei(tip);
    tx.gasLimit = 21'000;
    tx.to = Bytes(20, 0x35);
    tx.value = wei(1'000);
    return tx;
}

UnsettledAttempt stored(const ETHTransaction& tx) {
    UnsettledAttempt attempt;
    const Bytes wire = ETHSigner::sign(tx, key);
    attempt.id = bytesToHex(keccak256(wire));
    attempt.wire = bytesToHex(wire);
    attempt.nonce = tx.nonce;
    return attempt;
}

TEST(EVMReplacementFee, ReplacementsPayATenthAndOneWeiOverTheHighestAtTheNonce) {
    const std::vector<UnsettledAttempt> attempts = {
        stored(payment(3, 10, 0)), stored(payment(3, 1'000, 7)), stored(payment(4, 5'000, 900))};
    // geth: at least old x 110 / 100 (rounded down) and above the old, for each.
    EXPECT_EQ(replacementFloor(attempts, 3), (EVMFeeFloor{wei(1'101), wei(8)}));
    EXPECT_EQ(replacementFloor(attempts, 4), (EVMFeeFloor{wei(5'501), wei(991)}));
    EXPECT_FALSE(replacementFloor(attempts, 5).has_value());
    UnsettledAttempt unreadable = attempts[1];
    unreadable.wire += "00";
    EXPECT_EQ(replacementFloor({attempts[0], unreadable}, 3), (EVMFeeFloor{wei(12), wei(1)}));

    // The very same transaction is what the pool holds already; any other pays the floor.
    EXPECT_TRUE(paysReplacement(payment(3, 1'000, 7), attempts));
    EXPECT_TRUE(paysReplacement(payment(3, 1'101, 8), attempts));
    EXPECT_FALSE(paysReplacement(payment(3, 1'100, 8), attempts));
    EXPECT_FALSE(paysReplacement(payment(3, 2'000, 7), attempts));
    ETHTransaction other = payment(3, 1'000, 7);
    other.value = wei(999);
    EXPECT_FALSE(paysReplacement(other, attempts));
    EXPECT_TRUE(paysReplacement(payment(5, 1, 1), attempts)); // nothing held there

    UInt256 feeCap = wei(2'000);
    UInt256 tip = wei(2);
    raiseToFloor(feeCap, tip, replacementFloor(attempts, 3));
    EXPECT_EQ(feeCap, wei(2'000));
    EXPECT_EQ(tip, wei(8));
    // Never a tip above the fee cap.
    feeCap = wei(100);
    tip = wei(1);
    raiseToFloor(feeCap, tip, EVMFeeFloor{wei(50), wei(500)});
    EXPECT_EQ(tip, feeCap);
}

TEST(EVMReplacementFee, OnlyTheBytesTheWalletWritesAreReadBack) {
    ETHTransaction tx = payment(7, 30'000'000'000, 1'500'000'000);
    tx.data = Bytes(100, 0xab); // a long string
    tx.accessList = {{Bytes(20, 0x01), {Bytes(32, 0x02)}}};
    const Bytes wire = ETHSigner::sign(tx, key);
    const std::optional<ETHSignedTransaction> read = ETHSignedTransaction::decode(wire);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->fields.encodeUnsigned(), tx.encodeUnsigned());
    EXPECT_EQ(read->encode(), wire);

    const auto refused = [](const Bytes& bytes) {
        return !ETHSignedTransaction::decode(bytes).has_value();
    };
    EXPECT_TRUE(refused({}));
    Bytes typed = wire;
    typed[0] = 0x01;
    EXPECT_TRUE(refused(typed));
    Bytes longer = wire;
    longer.push_back(0x80);
    EXPECT_TRUE(refused(longer));
    EXPECT_TRUE(refused(Bytes(wire.begin(), wire.end() - 1)));
    // The nonce written with a leading zero.
    std::vector<Bytes> items = {RLP::encodeUInt64(1), RLP::encodeBytes(Bytes{0x00, 0x07})};
    for (int i = 0; i < 10; ++i) {
        items.push_back(RLP::encodeUInt64(1));
    }
    Bytes padded = {0x02};
    const Bytes list = RLP::encodeList(items);
    padded.insert(padded.end(), list.begin(), list.end());
    EXPECT_TRUE(refused(padded));
    // Lists nested deeper than any transaction's, and a length longer than the input.
    Bytes nested = {0xc0};
    for (int depth = 1; depth <= 9; ++depth) {
        if (depth == 9) {
            EXPECT_TRUE(RLP::decode(nested).has_value());
        }
        nested.insert(nested.begin(), static_cast<std::uint8_t>(0xc0 + nested.size()));
    }
    EXPECT_FALSE(RLP::decode(nested).has_value());
    EXPECT_FALSE(RLP::decode(Bytes{0xb9, 0xff, 0xff}).has_value());
    EXPECT_FALSE(RLP::decode(Bytes{0xb8, 0x01, 0x00}).has_value()); // long form of a short one
}

} // namespace
} // namespace qm
