#include "core/model/Transaction.h"

#include "core/model/JSONFields.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

const std::array<std::string, 2> directionRawValues = {"sent", "received"};
const std::array<std::string, 2> directionWords = {"Sent", "Received"};
const std::array<std::string, 3> statusRawValues = {"pending", "confirmed", "failed"};
const std::array<std::string, 3> statusLabels = {"Pending", "Confirmed", "Failed"};

template <typename Enum, std::size_t N>
std::optional<Enum> fromRawValue(const std::array<std::string, N>& rawValues,
                                 std::string_view text) {
    for (std::size_t i = 0; i < N; ++i) {
        if (rawValues[i] == text) {
            return static_cast<Enum>(i);
        }
    }
    return std::nullopt;
}

} // namespace

const std::string& rawValue(TransactionDirection direction) {
    return directionRawValues.at(static_cast<std::size_t>(direction));
}

const std::string& rawValue(TransactionStatus status) {
    return statusRawValues.at(static_cast<std::size_t>(status));
}

std::optional<TransactionDirection> transactionDirectionFromRawValue(std::string_view text) {
    return fromRawValue<TransactionDirection>(directionRawValues, text);
}

std::optional<TransactionStatus> transactionStatusFromRawValue(std::string_view text) {
    return fromRawValue<TransactionStatus>(statusRawValues, text);
}

const std::string& titleWord(TransactionDirection direction) {
    return directionWords.at(static_cast<std::size_t>(direction));
}

const std::string& displayLabel(TransactionStatus status) {
    return statusLabels.at(static_cast<std::size_t>(status));
}

std::string Transaction::displayTitle() const {
    return titleWord(direction) + " " + (tokenSymbol ? *tokenSymbol : nativeSymbol(chain));
}

bool isNewerInHistory(const Transaction& a, const Transaction& b) {
    if (!a.timestamp) {
        return false;
    }
    return !b.timestamp || *a.timestamp > *b.timestamp;
}

void sortNewestFirst(std::vector<Transaction>& history) {
    std::stable_sort(history.begin(), history.end(), isNewerInHistory);
}

void to_json(nlohmann::json& json, TransactionDirection direction) {
    json = rawValue(direction);
}

void from_json(const nlohmann::json& json, TransactionDirection& direction) {
    direction = json_fields::knownValue(
        transactionDirectionFromRawValue(json_fields::stringValue(json, "direction")), "direction");
}

void to_json(nlohmann::json& json, TransactionStatus status) {
    json = rawValue(status);
}

void from_json(const nlohmann::json& json, TransactionStatus& status) {
    status = json_fields::knownValue(
        transactionStatusFromRawValue(json_fields::stringValue(json, "status")), "status");
}

void to_json(nlohmann::json& json, const Transaction& t) {
    json = nlohmann::json{{"id", t.id},
                          {"txHash", t.txHash},
                          {"chain", t.chain},
                          {"direction", t.direction},
                          {"status", t.status},
                          {"amount", t.amount},
                          {"amountRaw", t.amountRaw},
                          {"fee", t.fee},
                          {"from", t.from},
                          {"to", t.to},
                          {"confirmations", t.confirmations}};
    json_fields::setIfPresent(json, "blockHeight", t.blockHeight);
    if (t.timestamp) {
        json["timestamp"] = t.timestamp->secondsSinceReferenceDate;
    }
    json_fields::setIfPresent(json, "tokenSymbol", t.tokenSymbol);
    json_fields::setIfPresent(json, "tokenName", t.tokenName);
    json_fields::setIfPresent(json, "contractAddress", t.contractAddress);
}

void from_json(const nlohmann::json& json, Transaction& transaction) {
    using namespace json_fields;
    requireObject(json);
    Transaction t;
    t.id = requireString(json, "id");
    t.txHash = requireString(json, "txHash");
    t.chain = knownValue(chainFromRawValue(requireString(json, "chain")), "chain");
    t.direction =
        knownValue(transactionDirectionFromRawValue(requireString(json, "direction")), "direction");
    t.status = knownValue(transactionStatusFromRawValue(requireString(json, "status")), "status");
    t.amount = requireString(json, "amount");
    t.amountRaw = requireUInt64(json, "amountRaw");
    t.fee = requireString(json, "fee");
    t.from = requireString(json, "from");
    t.to = requireString(json, "to");
    t.blockHeight = optionalInt64(json, "blockHeight");
    t.confirmations = requireInt64(json, "confirmations");
    if (const auto seconds = optionalDouble(json, "timestamp")) {
        t.timestamp = Date{*seconds};
        if (!t.timestamp->isInSupportedRange()) {
            throw JSONDecodingError(JSONDecodingError::Kind::outOfRange, "timestamp");
        }
    }
    t.tokenSymbol = optionalString(json, "tokenSymbol");
    t.tokenName = optionalString(json, "tokenName");
    t.contractAddress = optionalString(json, "contractAddress");
    transaction = std::move(t);
}

} // namespace qm
