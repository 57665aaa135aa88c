#include "services/bitcoin/ElectrumResults.h"

#include <limits>

namespace qm {

std::optional<std::int64_t> jsonInt64(const nlohmann::json& value) {
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return static_cast<std::int64_t>(u);
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> jsonUInt64(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    if (value.is_number_integer()) {
        const auto i = value.get<std::int64_t>();
        if (i >= 0) {
            return static_cast<std::uint64_t>(i);
        }
    }
    return std::nullopt;
}

namespace {

const nlohmann::json& requireObject(const nlohmann::json& json, const char* type) {
    if (!json.is_object()) {
        throw ElectrumError::decodingFailed(std::string("expected an object for ") + type);
    }
    return json;
}

const nlohmann::json& member(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        throw ElectrumError::decodingFailed(std::string("key \"") + key + "\" not found");
    }
    return *it;
}

[[noreturn]] void wrongValue(const char* key, const char* expected) {
    throw ElectrumError::decodingFailed(std::string("\"") + key + "\": expected " + expected);
}

std::int64_t int64Member(const nlohmann::json& object, const char* key) {
    if (const auto v = jsonInt64(member(object, key))) {
        return *v;
    }
    wrongValue(key, "a signed 64-bit integer");
}

std::uint64_t uint64Member(const nlohmann::json& object, const char* key) {
    if (const auto v = jsonUInt64(member(object, key))) {
        return *v;
    }
    wrongValue(key, "an unsigned 64-bit integer");
}

std::string stringMember(const nlohmann::json& object, const char* key) {
    const auto& value = member(object, key);
    if (!value.is_string()) {
        wrongValue(key, "a string");
    }
    return value.get<std::string>();
}

} // namespace

ElectrumBalance ElectrumBalance::fromJson(const nlohmann::json& json) {
    requireObject(json, "ElectrumBalance");
    return {uint64Member(json, "confirmed"), int64Member(json, "unconfirmed")};
}

nlohmann::json ElectrumBalance::toJson() const {
    return {{"confirmed", confirmed}, {"unconfirmed", unconfirmed}};
}

ElectrumUTXO ElectrumUTXO::fromJson(const nlohmann::json& json) {
    requireObject(json, "ElectrumUTXO");
    return {stringMember(json, "tx_hash"), int64Member(json, "tx_pos"), int64Member(json, "height"),
            uint64Member(json, "value")};
}

nlohmann::json ElectrumUTXO::toJson() const {
    return {{"tx_hash", tx_hash}, {"tx_pos", tx_pos}, {"height", height}, {"value", value}};
}

ElectrumTxRef ElectrumTxRef::fromJson(const nlohmann::json& json) {
    requireObject(json, "ElectrumTxRef");
    ElectrumTxRef ref{stringMember(json, "tx_hash"), int64Member(json, "height"), std::nullopt};
    const auto it = json.find("fee");
    if (it != json.end() && !it->is_null()) {
        const auto fee = jsonUInt64(*it);
        if (!fee) {
            wrongValue("fee", "an unsigned 64-bit integer");
        }
        ref.fee = fee;
    }
    return ref;
}

nlohmann::json ElectrumTxRef::toJson() const {
    nlohmann::json out = {{"tx_hash", tx_hash}, {"height", height}};
    if (fee) {
        out["fee"] = *fee;
    }
    return out;
}

ElectrumBlockHeader ElectrumBlockHeader::fromJson(const nlohmann::json& json) {
    requireObject(json, "ElectrumBlockHeader");
    return {int64Member(json, "height"), stringMember(json, "hex")};
}

nlohmann::json ElectrumBlockHeader::toJson() const {
    return {{"height", height}, {"hex", hex}};
}

} // namespace qm
