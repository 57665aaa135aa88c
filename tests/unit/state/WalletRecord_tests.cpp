// The stored wallet record with its Bitcoin address indices, and the checked arithmetic
// applied to numbers from servers.

#include "state/CheckedArithmetic.h"
#include "state/WalletRecord.h"

#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

namespace qm {
namespace {

Wallet sampleWallet(std::int64_t addresses) {
    Wallet wallet;
    wallet.id = "5C0B2F0E-8A4B-4E57-9E0C-0F8E7F4B2A11";
    wallet.name = "Quillmark";
    wallet.createdAt = Date{786'000'000.5};
    wallet.btcAddressCount = addresses;
    return wallet;
}

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A stored record text with the given extra key (raw JSON) over a wallet of `count` addresses.
Bytes recordWith(std::int64_t count, const std::string& extra) {
    nlohmann::json json = nlohmann::json::parse([&] {
        const Bytes bytes = encodeWalletMetadata(sampleWallet(count));
        return std::string(bytes.begin(), bytes.end());
    }());
    json["btcAddressIndices"] = nlohmann::json::parse(extra);
    return bytesOf(json.dump());
}

TEST(WalletRecord, RoundTripAndOtherReadersIgnoreTheExtraKey) {
    const Wallet wallet = sampleWallet(4);
    const BTCAddressIndices indices{{0, 1, 3, 7}, 9};
    const Bytes bytes = encodeWalletRecord(wallet, indices);

    const std::optional<StoredWalletRecord> record = decodeWalletRecord(bytes);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->wallet, wallet);
    EXPECT_EQ(record->btcAddressIndices, indices);
    // The record's own reader, and the backup through it, see the plain record.
    EXPECT_EQ(decodeWalletMetadata(bytes), wallet);

    // A record of an older writer has no indices: the addresses are 0 ... count - 1.
    const std::optional<StoredWalletRecord> plain =
        decodeWalletRecord(encodeWalletMetadata(wallet));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->btcAddressIndices);
    EXPECT_EQ(BTCAddressIndices::sequential(-3), (BTCAddressIndices{{}, 0}));
    EXPECT_EQ(BTCAddressIndices::sequential(1'000'000).indices.size(),
              static_cast<std::size_t>(maxBTCAddresses));

    EXPECT_FALSE(decodeWalletRecord(bytesOf("{}")));
    EXPECT_FALSE(decodeWalletRecord(bytesOf("not json")));
}

TEST(WalletRecord, IndicesThatDoNotAgreeWithTheRecordAreNotUsed) {
    const char* refused[] = {
        R"({"indices":[0,1,3],"next":4})",            // three indices for a count of four
        R"({"indices":[0,1,3,3],"next":5})",          // repeated
        R"({"indices":[0,1,2,3],"next":3})",          // next inside the list
        R"({"indices":[0,1,2,2147483648],"next":5})", // a hardened index
        R"({"indices":[0,1,2,3.5],"next":5})",
        R"({"indices":[0,1,2,3]})",
    };
    for (const char* extra : refused) {
        const std::optional<StoredWalletRecord> record = decodeWalletRecord(recordWith(4, extra));
        ASSERT_TRUE(record) << extra;
        EXPECT_FALSE(record->btcAddressIndices) << extra;
    }
    const std::optional<StoredWalletRecord> accepted =
        decodeWalletRecord(recordWith(4, R"({"indices":[0,2,5,2147483646],"next":2147483647})"));
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->btcAddressIndices,
              (BTCAddressIndices{{0, 2, 5, 2147483646u}, 2147483647u}));
}

TEST(CheckedArithmetic, ServerValuesNeverWrap) {
    constexpr std::uint64_t maxU = std::numeric_limits<std::uint64_t>::max();
    constexpr std::int64_t maxI = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t minI = std::numeric_limits<std::int64_t>::min();

    EXPECT_FALSE(checkedAdd<std::uint64_t>(maxU, 1));
    EXPECT_EQ(checkedAdd<std::int64_t>(maxI, minI), -1);
    EXPECT_FALSE(checkedAdd<std::int64_t>(maxI, 1));
    EXPECT_FALSE(checkedSubtract<std::uint64_t>(0, 1));
    EXPECT_FALSE(checkedSubtract<std::int64_t>(minI, 1));
    EXPECT_FALSE(checkedMultiply<std::uint64_t>(1ull << 32, 1ull << 32));
    EXPECT_FALSE(checkedMultiply<std::int64_t>(minI, -1));

    const std::uint64_t fits[] = {maxU - 10, 4, 6};
    EXPECT_EQ(checkedSum(fits), maxU);
    const std::uint64_t overflows[] = {maxU - 10, 4, 7};
    EXPECT_FALSE(checkedSum(overflows));
}

} // namespace
} // namespace qm
