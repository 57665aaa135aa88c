#pragma once
// A QR code's modules from libqrencode: the text's bytes in 8-bit mode, error correction M,
// the smallest version that holds them.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qm {

class QRCode {
public:
    // The code of `text`; none when no version holds it (or libqrencode fails).
    static std::optional<QRCode> encode(std::string_view text);

    // Modules per side, without a quiet zone.
    int size() const { return m_size; }
    // Whether the module at column `x`, row `y` is dark; outside the code (the quiet zone) it
    // is light.
    bool isDark(int x, int y) const;

private:
    QRCode(int size, std::vector<std::uint8_t> dark) : m_size(size), m_dark(std::move(dark)) {}

    int m_size = 0;
    std::vector<std::uint8_t> m_dark; // row by row, 1 for a dark module
};

} // namespace qm
