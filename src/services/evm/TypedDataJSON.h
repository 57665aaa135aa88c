#pragma once
// Reading typed-data requests from JSON text. A permit signs amounts up to 2^256 - 1, beyond a
// 64-bit integer and beyond what a double holds exactly, so integer literals that do not fit
// 64 bits are kept as their literal text instead of being rounded (see JSONReader).

#include "core/json/JSONReader.h"
#include "services/evm/EIP712.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

namespace qm {

// Deepest nesting of arrays and objects accepted in a request: far beyond any real typed
// data, and it bounds the recursion of the encoder.
inline constexpr std::size_t kMaxTypedDataNesting = 64;
// A request's text: the reader's checks, at most 1 MiB (a large marketplace order is a few
// kilobytes) and kMaxTypedDataNesting levels.
inline constexpr JSONReader::Limits kTypedDataLimits{1u << 20, kMaxTypedDataNesting};

// JSONReader::readKeepingBigIntegers under kTypedDataLimits; absent for anything it refuses.
std::optional<nlohmann::json> parseJSONKeepingBigIntegers(std::string_view text);

// The typed data of a request object {types, primaryType, domain, message}: `types` an object
// of arrays of field objects whose members are all texts and which name both "name" and
// "type"; `primaryType` a text; `domain` and `message` objects. Absent when a member is
// missing or of another kind (an incomplete field is refused, never skipped), or when a value
// nests deeper than kMaxTypedDataNesting. Whether the types are complete and the values fit
// them is typedDataRefusal's (EIP712Check.h).
std::optional<EIP712TypedData> typedDataFromJSON(const nlohmann::json& request);

// parseJSONKeepingBigIntegers, then typedDataFromJSON.
std::optional<EIP712TypedData> parseTypedData(std::string_view text);

} // namespace qm
