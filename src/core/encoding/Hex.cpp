#include "core/encoding/Hex.h"

#include <charconv>

namespace qm {
namespace {

int nibble(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string_view dropPrefix(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    return text;
}

} // namespace

std::string bytesToPlainHex(ByteView bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0F]);
    }
    return out;
}

std::string bytesToHex(ByteView bytes) {
    return "0x" + bytesToPlainHex(bytes);
}

std::optional<Bytes> hexToBytes(std::optional<std::string_view> text) {
    if (!text) {
        return std::nullopt;
    }
    const std::string_view digits = dropPrefix(*text);
    if (digits.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes out(digits.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = nibble(digits[2 * i]);
        const int low = nibble(digits[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return out;
}

std::optional<std::uint64_t> hexToUInt64(std::optional<std::string_view> text) {
    if (!text) {
        return std::nullopt;
    }
    const std::string_view digits = dropPrefix(*text);
    if (digits.empty()) {
        return std::nullopt;
    }
    // from_chars would accept a sign or stop early; every character must be a digit.
    for (char c : digits) {
        if (nibble(c) < 0) {
            return std::nullopt;
        }
    }
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace qm
