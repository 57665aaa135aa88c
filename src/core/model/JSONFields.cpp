#include "core/model/JSONFields.h"

#include "core/json/JSONReader.h"

#include <cmath>

namespace qm {
namespace {

std::string describe(JSONDecodingError::Kind kind, std::string_view key) {
    std::string text;
    switch (kind) {
    case JSONDecodingError::Kind::invalidJSON:
        text = "Invalid JSON";
        break;
    case JSONDecodingError::Kind::notAnObject:
        text = "Expected a JSON object";
        break;
    case JSONDecodingError::Kind::missingKey:
        text = "Missing key";
        break;
    case JSONDecodingError::Kind::wrongType:
        text = "Wrong JSON type for key";
        break;
    case JSONDecodingError::Kind::notAnInteger:
        text = "Not an integer for key";
        break;
    case JSONDecodingError::Kind::outOfRange:
        text = "Number out of range for key";
        break;
    case JSONDecodingError::Kind::unknownValue:
        text = "Unknown value for key";
        break;
    }
    if (!key.empty()) {
        text += " \"";
        text += key;
        text += '"';
    }
    return text;
}

using Kind = JSONDecodingError::Kind;

const nlohmann::json* member(const nlohmann::json& object, std::string_view key) {
    const auto found = json_fields::requireObject(object).find(key);
    return found == object.end() ? nullptr : &*found;
}

const nlohmann::json& requiredMember(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* value = member(object, key);
    if (value == nullptr) {
        throw JSONDecodingError(Kind::missingKey, key);
    }
    return *value;
}

const nlohmann::json* optionalMember(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* value = member(object, key);
    return value == nullptr || value->is_null() ? nullptr : value;
}

} // namespace

JSONDecodingError::JSONDecodingError(Kind kind, std::string_view key)
    : Error(describe(kind, key)), kind_(kind) {}

namespace json_fields {

const nlohmann::json& requireObject(const nlohmann::json& value) {
    if (!value.is_object()) {
        throw JSONDecodingError(Kind::notAnObject, {});
    }
    return value;
}

std::string stringValue(const nlohmann::json& value, std::string_view key) {
    if (!value.is_string()) {
        throw JSONDecodingError(Kind::wrongType, key);
    }
    return value.get<std::string>();
}

std::int64_t int64Value(const nlohmann::json& value, std::string_view key) {
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(INT64_MAX)) {
            throw JSONDecodingError(Kind::outOfRange, key);
        }
        return static_cast<std::int64_t>(u);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    throw JSONDecodingError(value.is_number_float() ? Kind::notAnInteger : Kind::wrongType, key);
}

std::uint64_t uint64Value(const nlohmann::json& value, std::string_view key) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    if (value.is_number_integer()) {
        const auto i = value.get<std::int64_t>();
        if (i < 0) {
            throw JSONDecodingError(Kind::outOfRange, key);
        }
        return static_cast<std::uint64_t>(i);
    }
    throw JSONDecodingError(value.is_number_float() ? Kind::notAnInteger : Kind::wrongType, key);
}

double doubleValue(const nlohmann::json& value, std::string_view key) {
    if (!value.is_number()) {
        throw JSONDecodingError(Kind::wrongType, key);
    }
    const double d = value.get<double>();
    if (!std::isfinite(d)) {
        throw JSONDecodingError(Kind::outOfRange, key);
    }
    return d;
}

std::string requireString(const nlohmann::json& object, std::string_view key) {
    return stringValue(requiredMember(object, key), key);
}

std::int64_t requireInt64(const nlohmann::json& object, std::string_view key) {
    return int64Value(requiredMember(object, key), key);
}

std::uint64_t requireUInt64(const nlohmann::json& object, std::string_view key) {
    return uint64Value(requiredMember(object, key), key);
}

double requireDouble(const nlohmann::json& object, std::string_view key) {
    return doubleValue(requiredMember(object, key), key);
}

bool requireBool(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json& value = requiredMember(object, key);
    if (!value.is_boolean()) {
        throw JSONDecodingError(Kind::wrongType, key);
    }
    return value.get<bool>();
}

std::optional<std::string> optionalString(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* value = optionalMember(object, key);
    return value == nullptr ? std::nullopt : std::optional(stringValue(*value, key));
}

std::optional<std::int64_t> optionalInt64(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* value = optionalMember(object, key);
    return value == nullptr ? std::nullopt : std::optional(int64Value(*value, key));
}

std::optional<std::uint64_t> optionalUInt64(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* value = optionalMember(object, key);
    return value == nullptr ? std::nullopt : std::optional(uint64Value(*value, key));
}

std::optional<double> optionalDouble(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* value = optionalMember(object, key);
    return value == nullptr ? std::nullopt : std::optional(doubleValue(*value, key));
}

std::optional<bool> optionalBool(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* value = optionalMember(object, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_boolean()) {
        throw JSONDecodingError(Kind::wrongType, key);
    }
    return value->get<bool>();
}

nlohmann::json parse(std::string_view text) {
    try {
        return JSONReader::read(text, JSONReader::stored);
    } catch (const JSONReadError&) {
        throw JSONDecodingError(Kind::invalidJSON, {});
    }
}

} // namespace json_fields
} // namespace qm
