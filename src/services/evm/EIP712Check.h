#pragma once
// Whether typed data from a dApp may be signed, and the text that shows what is signed. The
// encoder (EIP712.h) never fails: it turns what it cannot read into fixed words. A wallet must
// not sign such a digest, since it commits to something else than the request shows: the check
// refuses every gap the encoder would fill, before anything is shown or signed.

#include "services/evm/EIP712.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qm {

// Why `typedData` must not be signed; none when it may. Refused:
//   - an undeclared "EIP712Domain" or primary type;
//   - a field type that is neither atomic ("address", "bool", "string", "bytes", "bytes1" to
//     "bytes32", "uint8" to "uint256" and "int8" to "int256" in steps of 8, "uint", "int") nor
//     a declared type, alone or as an array "T[]" / "T[n]";
//   - a declared field without a value (null included), in the domain or anywhere in the
//     message; a value that is not of its type: an address that is not 20 bytes of "0x" hex,
//     a bool that is not true or false, "bytesN" not exactly N bytes of "0x" hex, "bytes" not
//     "0x" hex, an integer that is not a whole number (JSON number, decimal or "0x" text) within
//     its type's range, an array of another length than "T[n]" says;
//   - a domain "chainId" other than `chainId`, when the domain declares one and `chainId` is
//     given.
// Members that no type declares are not signed, and not refused: typedDataText leaves them out.
std::optional<std::string> typedDataRefusal(const EIP712TypedData& typedData,
                                            std::optional<std::uint64_t> chainId);

// What a signature of `typedData` commits to, as indented JSON text: {"domain": the declared
// domain fields, "primaryType": its name, "message": the declared fields of the message}, each
// struct's members in declaration order, integers beyond 64 bits with every digit. For typed
// data that typedDataRefusal accepts.
std::string typedDataText(const EIP712TypedData& typedData);

} // namespace qm
