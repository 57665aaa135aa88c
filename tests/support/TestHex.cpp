#include "TestHex.h"

#include <stdexcept>

namespace qm::test {

std::vector<std::uint8_t> unhex(std::string_view hex) {
    if (hex.starts_with("0x")) {
        hex.remove_prefix(2);
    }
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw std::invalid_argument("bad hex digit in test vector");
    };
    if (hex.size() % 2 != 0) {
        throw std::invalid_argument("odd hex length in test vector");
    }
    std::vector<std::uint8_t> out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
    }
    return out;
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::vector<std::uint8_t> ascii(std::string_view text) {
    return {text.begin(), text.end()};
}

} // namespace qm::test
