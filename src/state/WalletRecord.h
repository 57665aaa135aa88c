#pragma once
// The stored wallet record as the application state writes it: the record's own keys,
// plus one extra key that says which receive indices the Bitcoin addresses use. Readers
// of the record alone ignore the extra key; a record without it (or with one that does not
// agree with the record) is read as the addresses 0 to btcAddressCount - 1.

#include "core/model/Wallet.h"
#include "platform/Bytes.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qm {

// A list longer than this is not ours: deriving it would hold the window for seconds.
inline constexpr std::int64_t maxBTCAddresses = 1000;

struct BTCAddressIndices {
    // Receive index of each address in list order: strictly increasing, the first is 0.
    std::vector<std::uint32_t> indices;
    // The next new address takes this index; deleted indices stay behind it for good.
    std::uint32_t next = 0;

    // The indices 0 to count - 1 (count clamped to 0 ... maxBTCAddresses), next = count.
    static BTCAddressIndices sequential(std::int64_t count);
    // Whether the invariants above hold and `next` leaves room for a normal (non-hardened)
    // index.
    bool isValid() const;

    bool operator==(const BTCAddressIndices&) const = default;
};

// The extra key: {"indices": [0, 1, 3], "next": 5}.
inline constexpr std::string_view btcAddressIndicesKey = "btcAddressIndices";

struct StoredWalletRecord {
    Wallet wallet;
    // Absent when the key is missing, malformed, or disagrees with btcAddressCount.
    std::optional<BTCAddressIndices> btcAddressIndices;
};

// Compact JSON of the record (dates as numbers, as "wallet-metadata" keeps them) with the
// extra key. Throws JSONEncodingError as the record's own encoding does.
Bytes encodeWalletRecord(const Wallet& wallet, const BTCAddressIndices& indices);
// Absent when the bytes are not a wallet record.
std::optional<StoredWalletRecord> decodeWalletRecord(ByteView bytes);

} // namespace qm
