#pragma once
// Strict readers for the fields of stored JSON records. A record is read whole
// or not at all: a missing required key, a wrong JSON type, a number with a
// fraction or an exponent where an integer belongs (even 3.0, which a float
// could only have rounded to) or one out of range throws JSONDecodingError.

#include "platform/Error.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

class JSONDecodingError : public Error {
public:
    enum class Kind {
        invalidJSON,
        notAnObject,
        missingKey,
        wrongType,
        notAnInteger,
        outOfRange,
        unknownValue
    };

    JSONDecodingError(Kind kind, std::string_view key);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// A record that cannot be written in the asked form (a date outside the ISO 8601 range).
class JSONEncodingError : public Error {
public:
    using Error::Error;
};

namespace json_fields {

// The object itself; throws notAnObject for any other JSON value.
const nlohmann::json& requireObject(const nlohmann::json& value);

// Required members: absent or null throws missingKey / wrongType.
std::string requireString(const nlohmann::json& object, std::string_view key);
std::int64_t requireInt64(const nlohmann::json& object, std::string_view key);
std::uint64_t requireUInt64(const nlohmann::json& object, std::string_view key);
double requireDouble(const nlohmann::json& object, std::string_view key);
bool requireBool(const nlohmann::json& object, std::string_view key);

// Optional members: absent or null give none; any other wrong value throws.
std::optional<std::string> optionalString(const nlohmann::json& object, std::string_view key);
std::optional<std::int64_t> optionalInt64(const nlohmann::json& object, std::string_view key);
std::optional<std::uint64_t> optionalUInt64(const nlohmann::json& object, std::string_view key);
std::optional<double> optionalDouble(const nlohmann::json& object, std::string_view key);
std::optional<bool> optionalBool(const nlohmann::json& object, std::string_view key);

// Conversions of one JSON value (`key` only names it in the error).
std::string stringValue(const nlohmann::json& value, std::string_view key);
std::int64_t int64Value(const nlohmann::json& value, std::string_view key);
std::uint64_t uint64Value(const nlohmann::json& value, std::string_view key);
double doubleValue(const nlohmann::json& value, std::string_view key);

// The value an enumeration's parser found; throws unknownValue when it found none.
template <typename T> T knownValue(std::optional<T> parsed, std::string_view key) {
    if (!parsed) {
        throw JSONDecodingError(JSONDecodingError::Kind::unknownValue, key);
    }
    return *std::move(parsed);
}

// Writes an optional member only when present.
template <typename T>
void setIfPresent(nlohmann::json& object, const char* key, const std::optional<T>& value) {
    if (value) {
        object[key] = *value;
    }
}

// Parses a stored record's text strictly (JSONReader with the stored limits); throws
// JSONDecodingError(invalidJSON) for anything it refuses.
nlohmann::json parse(std::string_view text);

} // namespace json_fields
} // namespace qm
