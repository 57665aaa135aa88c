#pragma once
// Reading typed-data requests from JSON text. A permit signs amounts up to 2^256 - 1,
// beyond a 64-bit integer and beyond what a double holds exactly, so integer literals
// that do not fit 64 bits are kept as their literal text instead of being rounded.

#include "services/evm/EIP712.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

namespace qm {

// Deepest nesting of arrays and objects accepted in a request: far beyond any real typed
// data, and it bounds the recursion of the encoder.
inline constexpr std::size_t kMaxTypedDataNesting = 64;

// Parses JSON text like nlohmann::json::parse, except that an integer literal outside the
// 64-bit range becomes a binary value of subtype kBigIntegerLiteralSubtype holding the
// literal's text (optional "-", then digits). Absent for malformed text, text that is not
// valid UTF-8, or nesting deeper than kMaxTypedDataNesting.
std::optional<nlohmann::json> parseJSONKeepingBigIntegers(std::string_view text);

inline constexpr std::uint64_t kBigIntegerLiteralSubtype = 0x2560;

// The literal text of a kept big integer; absent for every other value.
std::optional<std::string_view> bigIntegerLiteral(const nlohmann::json& value);

// The typed data of a request object {types, primaryType, domain, message}: `types` an
// object of arrays of {name, type} texts, `primaryType` a text, `domain` and `message`
// objects. Absent when a member is missing or of another kind, or when a value nests
// deeper than kMaxTypedDataNesting.
std::optional<EIP712TypedData> typedDataFromJSON(const nlohmann::json& request);

// parseJSONKeepingBigIntegers, then typedDataFromJSON.
std::optional<EIP712TypedData> parseTypedData(std::string_view text);

} // namespace qm
