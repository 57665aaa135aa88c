#pragma once
// EIP-712 typed structured data: type strings, struct encoding, the digest and its
// signature. Encoding never fails: undeclared types, missing fields and values of the
// wrong kind fall back to fixed words (32 zero bytes, or Keccak-256 of no bytes), so the
// digest of a request is always defined and the caller decides whether to sign it.

#include "platform/Bytes.h"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct EIP712Field {
    std::string name;
    std::string type; // e.g. "address", "uint256", "Person", "Person[]"
};

// Declared struct types by name, each with its fields in declaration order.
using EIP712Types = std::map<std::string, std::vector<EIP712Field>, std::less<>>;

// Typed data as the request declares it; nothing is added to `types`. Values are JSON as
// parseTypedData reads it: integer literals beyond 64 bits are kept exactly (see
// TypedDataJSON.h). A JSON null stands for an absent value.
struct EIP712TypedData {
    EIP712Types types;
    std::string primaryType;
    nlohmann::json::object_t domain;
    nlohmann::json::object_t message;
};

// The 32-byte digest: Keccak-256 of 0x19 0x01, the domain separator and the message hash.
Bytes typedDataDigest(const EIP712TypedData& typedData);

// 65 bytes r | s | recovery id + 27 over typedDataDigest. Throws Secp256k1Error for a key
// that is not 32 bytes or not a valid secret key.
Bytes signTypedData(const EIP712TypedData& typedData, ByteView privateKey);

// "Name(type field,...)" followed by each referenced struct type in ascending byte order;
// empty when `name` is not declared.
std::string encodeType(std::string_view name, const EIP712Types& types);

// The encodings of the fields of `type` in declaration order, without the type hash;
// empty when the type is not declared or has no fields.
Bytes encodeData(std::string_view type, const nlohmann::json::object_t& data,
                 const EIP712Types& types);

// The 32-byte encoding of one value of `type` (a word, or a hash for dynamic, array and struct
// types; a fixed-size array "T[n]" encodes as "T[]" does).
Bytes encodeValue(std::string_view type, const nlohmann::json& value, const EIP712Types& types);

// Adds `name` and every struct type it references (through fields and their arrays, "T[]",
// "T[n]", "T[][2]") to `into`; names without a declaration are not added.
void collectDependencies(std::string_view name, const EIP712Types& types,
                         std::set<std::string, std::less<>>& into);

// The integer word of a value: numbers, "0x" text of up to 32 bytes, and decimal text of
// up to 256 bits. Negative values are two's complement when `isSigned` (an int type) and
// at least -2^255; anything that does not fit gives 32 zero bytes.
Bytes encodeInteger(const nlohmann::json& value, bool isSigned = false);

// 32-byte big-endian word holding `value` in its last 8 bytes.
Bytes wordFromUInt64(std::uint64_t value);
// Zero bytes in front up to 32; a longer input keeps its last 32 bytes.
Bytes leftPadTo32(ByteView bytes);
// Zero bytes behind up to 32; a longer input keeps its first 32 bytes.
Bytes rightPadTo32(ByteView bytes);

} // namespace qm
