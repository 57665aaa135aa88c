#pragma once
// One entry of an account's transaction history, shared by all chains: a
// display-ready summary rebuilt on every refresh and never stored.

#include "core/model/Chain.h"
#include "core/model/Date.h"

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum class TransactionDirection { sent, received };
enum class TransactionStatus { pending, confirmed, failed };

// Raw values equal the case names; parsing is exact and case-sensitive.
const std::string& rawValue(TransactionDirection direction);
const std::string& rawValue(TransactionStatus status);
std::optional<TransactionDirection> transactionDirectionFromRawValue(std::string_view text);
std::optional<TransactionStatus> transactionStatusFromRawValue(std::string_view text);
// "Sent" / "Received", the word of a history title.
const std::string& titleWord(TransactionDirection direction);
// "Pending" / "Confirmed" / "Failed", as the status badge shows it.
const std::string& displayLabel(TransactionStatus status);

struct Transaction {
    std::string id; // unique within an account's history
    std::string txHash;
    Chain chain = Chain::bitcoin;
    TransactionDirection direction = TransactionDirection::received;
    TransactionStatus status = TransactionStatus::pending;
    std::string amount; // display text with its unit, e.g. "0.00100000 BTC"
    std::uint64_t amountRaw = 0;
    std::string fee; // display text; empty when unknown
    std::string from;
    std::string to;
    std::optional<std::int64_t> blockHeight;
    std::int64_t confirmations = 0;
    std::optional<Date> timestamp;
    std::optional<std::string> tokenSymbol;
    std::optional<std::string> tokenName;
    std::optional<std::string> contractAddress;

    bool operator==(const Transaction&) const = default;

    // "Sent USDC", "Received ETH": the direction's word, a blank, and the token symbol when
    // present (even empty), else the chain's native ticker.
    std::string displayTitle() const;
};

// History order: `a` comes before `b` when its timestamp is later; a missing timestamp
// counts as the distant past.
bool isNewerInHistory(const Transaction& a, const Transaction& b);
// Sorts newest first with isNewerInHistory; entries that tie keep their relative order.
void sortNewestFirst(std::vector<Transaction>& history);

// JSON with the field names as keys; the five optional fields are left out when none and
// read as none when absent or null; "timestamp" is seconds since 2001-01-01 UTC.
// from_json throws JSONDecodingError.
void to_json(nlohmann::json& json, TransactionDirection direction);
void from_json(const nlohmann::json& json, TransactionDirection& direction);
void to_json(nlohmann::json& json, TransactionStatus status);
void from_json(const nlohmann::json& json, TransactionStatus& status);
void to_json(nlohmann::json& json, const Transaction& transaction);
void from_json(const nlohmann::json& json, Transaction& transaction);

} // namespace qm
