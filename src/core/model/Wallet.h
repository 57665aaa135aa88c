#pragma once
// The wallet record: the one record of the three that is stored, as the item
// "wallet-metadata" and inside the backup payload.

#include "core/model/Date.h"
#include "platform/Bytes.h"

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

namespace qm {

struct Wallet {
    std::string id;   // canonical upper-case UUID text; names the wallet's secure items
    std::string name; // "Quillmark"
    Date createdAt;
    std::int64_t bitcoinAccountCount = 1;
    std::int64_t ethereumAccountCount = 1;
    std::int64_t btcAddressCount = 5; // grows as the user asks for new receive addresses

    bool operator==(const Wallet&) const = default;
};

// How a document writes its dates: "wallet-metadata" as seconds since 2001-01-01 UTC (a
// number), the backup payload as ISO 8601 text in UTC (with the fraction of a second only
// when there is one, so that a round trip keeps the date).
enum class DateCoding { secondsSinceReferenceDate, iso8601 };

// The record's JSON object with all six keys. Throws JSONEncodingError when an ISO 8601
// date lies outside the years 0001-9999.
nlohmann::json walletToJSON(const Wallet& wallet, DateCoding dates);
// Reads a record: "id", "name", "createdAt", "bitcoinAccountCount", "ethereumAccountCount"
// required, "btcAddressCount" absent or null gives 5; unknown keys are ignored. Throws
// JSONDecodingError when anything is missing, of the wrong type or out of range.
Wallet walletFromJSON(const nlohmann::json& json, DateCoding dates);

// The "wallet-metadata" item's bytes (compact JSON, dates as numbers) and back.
// decodeWalletMetadata throws JSONDecodingError for any text that is not a valid record.
Bytes encodeWalletMetadata(const Wallet& wallet);
Wallet decodeWalletMetadata(ByteView bytes);

// nlohmann hooks: the "wallet-metadata" form (dates as numbers).
void to_json(nlohmann::json& json, const Wallet& wallet);
void from_json(const nlohmann::json& json, Wallet& wallet);

// A fresh random UUID (version 4) in canonical form with upper-case digits, for a new wallet.
std::string newWalletID();
// Whether `text` is a UUID in the canonical 36-character form (8-4-4-4-12 hexadecimal
// digits, either letter case).
bool isCanonicalUUID(std::string_view text);

} // namespace qm
