#pragma once
// Reverse lookup for the text encodings' alphabets (Base58, Bech32).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qm {

// The digit value of each ASCII code under `alphabet` (a character's position), or -1 for
// codes outside it. Codes 0x80 and above are never digits; callers test them first.
constexpr std::array<std::int8_t, 128> asciiDigitTable(std::string_view alphabet) {
    std::array<std::int8_t, 128> table{};
    table.fill(-1);
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
    }
    return table;
}

} // namespace qm
