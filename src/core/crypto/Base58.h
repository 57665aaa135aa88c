#pragma once
// Base58 with the Bitcoin alphabet and no checksum: Solana addresses, program
// identifiers and blockhashes. (Base58Check for legacy Bitcoin addresses lives
// with the Bitcoin transaction parser.)

#include "platform/Bytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz": a digit's value is its position.
inline constexpr std::string_view base58Alphabet =
    "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";

// The Base58 text of the bytes; each leading zero byte becomes one "1". Empty in, empty out.
std::string base58Encode(ByteView bytes);

// The bytes of a Base58 text; each leading "1" becomes one zero byte. The empty text
// gives empty bytes. Absent for any character outside the alphabet (non-ASCII included).
std::optional<Bytes> base58Decode(std::string_view text);

} // namespace qm
