#include "services/solana/SolanaRPCTypes.h"

#include "core/encoding/Base64.h"
#include "services/network/DecodingTexts.h"

#include <limits>
#include <stdexcept>

namespace qm {

namespace {

[[noreturn]] void missing() {
    throw std::invalid_argument(decodingMissingText);
}

[[noreturn]] void malformed() {
    throw std::invalid_argument(decodingMalformedText);
}

const nlohmann::json& object(const nlohmann::json& json) {
    if (!json.is_object()) {
        malformed();
    }
    return json;
}

const nlohmann::json& array(const nlohmann::json& json) {
    if (!json.is_array()) {
        malformed();
    }
    return json;
}

// A required member: missing (or null, which the platform decoder treats alike) is "missing".
const nlohmann::json& required(const nlohmann::json& parent, const char* key) {
    const auto it = object(parent).find(key);
    if (it == parent.end() || it->is_null()) {
        missing();
    }
    return *it;
}

// An optional member: absent for a missing key or null.
const nlohmann::json* optional(const nlohmann::json& parent, const char* key) {
    const auto it = object(parent).find(key);
    if (it == parent.end() || it->is_null()) {
        return nullptr;
    }
    return &*it;
}

std::string text(const nlohmann::json& value) {
    if (!value.is_string()) {
        malformed();
    }
    return value.get<std::string>();
}

// Integers only: a fraction, a negative value or anything above the range is malformed.
std::uint64_t unsigned64(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    if (value.is_number_integer() && value.get<std::int64_t>() >= 0) {
        return static_cast<std::uint64_t>(value.get<std::int64_t>());
    }
    malformed();
}

std::int64_t signed64(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        if (value.get<std::uint64_t>() >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            malformed();
        }
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    malformed();
}

std::uint8_t unsigned8(const nlohmann::json& value) {
    const std::uint64_t wide = unsigned64(value);
    if (wide > std::numeric_limits<std::uint8_t>::max()) {
        malformed();
    }
    return static_cast<std::uint8_t>(wide);
}

double number(const nlohmann::json& value) {
    if (!value.is_number()) {
        malformed();
    }
    return value.get<double>();
}

// An account, or null; its data must be ["<Base64>", "base64"].
std::optional<SolanaAccount> account(const nlohmann::json& json) {
    if (json.is_null()) {
        return std::nullopt;
    }
    SolanaAccount out;
    out.lamports = unsigned64(required(json, "lamports"));
    out.owner = text(required(json, "owner"));
    const auto& data = array(required(json, "data"));
    if (data.size() != 2 || text(data[1]) != "base64") {
        malformed();
    }
    std::optional<Bytes> bytes = base64Decode(text(data[0]));
    if (!bytes) {
        malformed();
    }
    out.data = std::move(*bytes);
    return out;
}

// The "slot" of a reply's "context".
std::uint64_t contextSlot(const nlohmann::json& context) {
    return unsigned64(required(context, "slot"));
}

std::vector<std::optional<SolanaAccount>> accounts(const nlohmann::json& json) {
    std::vector<std::optional<SolanaAccount>> out;
    out.reserve(array(json).size());
    for (const auto& entry : json) {
        out.push_back(account(entry));
    }
    return out;
}

} // namespace

void fromSolanaResult(const nlohmann::json& json, BalanceResult& out) {
    out.value = unsigned64(required(json, "value"));
}

void fromSolanaResult(const nlohmann::json& json, LatestBlockhashResult& out) {
    const auto& value = required(json, "value");
    out.value.blockhash = text(required(value, "blockhash"));
    out.value.lastValidBlockHeight = unsigned64(required(value, "lastValidBlockHeight"));
}

void fromSolanaResult(const nlohmann::json& json, TokenAccountsResult& out) {
    const auto& value = array(required(json, "value"));
    out.value.clear();
    out.value.reserve(value.size());
    for (const auto& entry : value) {
        SPLTokenAccountInfo info;
        info.pubkey = text(required(entry, "pubkey"));
        const auto& fields =
            required(required(required(required(entry, "account"), "data"), "parsed"), "info");
        info.mint = text(required(fields, "mint"));
        const auto& amount = required(fields, "tokenAmount");
        info.amount = text(required(amount, "amount"));
        info.decimals = unsigned8(required(amount, "decimals"));
        if (const auto* ui = optional(amount, "uiAmount")) {
            info.uiAmount = number(*ui);
        }
        out.value.push_back(std::move(info));
    }
}

void fromSolanaResult(const nlohmann::json& json, std::vector<SolanaTransactionInfo>& out) {
    array(json);
    out.clear();
    out.reserve(json.size());
    for (const auto& element : json) {
        SolanaTransactionInfo info;
        info.signature = text(required(element, "signature"));
        info.slot = unsigned64(required(element, "slot"));
        if (const auto* blockTime = optional(element, "blockTime")) {
            info.blockTime = signed64(*blockTime);
        }
        if (const auto* err = optional(element, "err")) {
            info.err = *err;
        }
        if (const auto* memo = optional(element, "memo")) {
            info.memo = text(*memo);
        }
        out.push_back(std::move(info));
    }
}

void fromSolanaResult(const nlohmann::json& json, std::string& out) {
    out = text(json);
}

void fromSolanaResult(const nlohmann::json& json, SignatureStatusesResult& out) {
    const auto& value = array(required(json, "value"));
    out.contextSlot.reset();
    if (const auto* context = optional(json, "context")) {
        out.contextSlot = contextSlot(*context);
    }
    out.value.clear();
    out.value.reserve(value.size());
    for (const auto& entry : value) {
        if (entry.is_null()) {
            out.value.emplace_back();
            continue;
        }
        SignatureStatus status;
        status.slot = unsigned64(required(entry, "slot"));
        if (const auto* confirmation = optional(entry, "confirmationStatus")) {
            status.confirmationStatus = text(*confirmation);
        }
        if (const auto* err = optional(entry, "err")) {
            status.err = *err;
        }
        out.value.emplace_back(std::move(status));
    }
}

void fromSolanaResult(const nlohmann::json& json, MultipleAccountsResult& out) {
    out.value = accounts(required(json, "value"));
}

void fromSolanaResult(const nlohmann::json& json, SimulationResult& out) {
    const auto& value = required(json, "value");
    out.value.err.reset();
    if (const auto* err = optional(value, "err")) {
        out.value.err = *err;
    }
    out.value.accounts.clear();
    if (const auto* listed = optional(value, "accounts")) {
        out.value.accounts = accounts(*listed);
    }
}

void fromSolanaResult(const nlohmann::json& json, EpochInfo& out) {
    out.absoluteSlot = unsigned64(required(json, "absoluteSlot"));
    out.blockHeight = unsigned64(required(json, "blockHeight"));
    if (out.blockHeight > out.absoluteSlot) {
        malformed();
    }
}

void fromSolanaResult(const nlohmann::json& json, BlockhashValidity& out) {
    out.contextSlot = contextSlot(required(json, "context"));
    const auto& value = required(json, "value");
    if (!value.is_boolean()) {
        malformed();
    }
    out.valid = value.get<bool>();
}

} // namespace qm
