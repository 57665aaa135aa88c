#pragma once
// Textual derivation paths ("m/84'/0'/0'") and the wallet's three fixed account paths.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qm {

// The indices of a path, hardened ones (marked "'" or "h") with the top bit set.
// Empty pieces and a leading "m" are ignored, so "m" and "" give the empty list.
// Absent when any piece is not a 32-bit unsigned decimal number with at most one marker.
std::optional<std::vector<std::uint32_t>> parseDerivationPath(std::string_view path);

// m/84'/0'/0' (native segwit), m/44'/60'/0' (Ethereum), m/44'/501'/0'/0' (Solana, walked with
// SLIP-10). Parsed once, on first use.
const std::vector<std::uint32_t>& bitcoinAccountPath();
const std::vector<std::uint32_t>& ethereumAccountPath();
const std::vector<std::uint32_t>& solanaAccountPath();

} // namespace qm
