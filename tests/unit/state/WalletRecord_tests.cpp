#include "state/WalletRecord.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

// A stored record text with the given extra key (raw JSON) over a wallet of `count` addresses.
Bytes recordWith(std::int64_t count, const std::string& extra) {
    Wallet wallet;
    wallet.id = "5C0B2F0E-8A4B-4E57-9E0C-0F8E7F4B2A11";
    wallet.btcAddressCount = count;
    const Bytes plain = encodeWalletMetadata(wallet);
    nlohmann::json json = nlohmann::json::parse(plain.begin(), plain.end());
    json["btcAddressIndices"] = nlohmann::json::parse(extra);
    const std::string text = json.dump();
    return Bytes(text.begin(), text.end());
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

} // namespace
} // namespace qm
