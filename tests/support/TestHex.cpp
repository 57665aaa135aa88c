#include "TestHex.h"

#include <charconv>
#include <stdexcept>

namespace qm::test {

std::vector<std::uint8_t> unhex(std::string_view hex) {
    if (hex.starts_with("0x")) {
        hex.remove_prefix(2);
    }
    if (hex.size() % 2 != 0) {
        throw std::invalid_argument("odd hex length in test vector");
    }
    std::vector<std::uint8_t> out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char* digits = hex.data() + 2 * i;
        if (std::from_chars(digits, digits + 2, out[i], 16).ptr != digits + 2) {
            throw std::invalid_argument("bad hex digit in test vector");
        }
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
