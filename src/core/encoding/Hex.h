#pragma once
// Hexadecimal text helpers shared by the chain services and everything above them.

#include "platform/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// "0x" followed by two lowercase digits per byte; no bytes give "0x".
std::string bytesToHex(ByteView bytes);
// Lowercase digits without a prefix (Electrum, script hashes).
std::string bytesToPlainHex(ByteView bytes);
// One optional "0x"/"0X" prefix, then an even count of hex digits; else absent.
std::optional<Bytes> hexToBytes(std::optional<std::string_view> text);
// One optional "0x"/"0X" prefix, then one or more hex digits of a value below 2^64 (leading
// zeros allowed); no sign, blank or second prefix. Else absent.
std::optional<std::uint64_t> hexToUInt64(std::optional<std::string_view> text);

} // namespace qm
