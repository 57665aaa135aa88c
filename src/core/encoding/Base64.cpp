#include "core/encoding/Base64.h"

#include <cstddef>
#include <cstdint>

namespace qm {
namespace {

constexpr char base64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

std::string base64Encode(ByteView bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) |
                                    (left > 1 ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                    (left > 2 ? std::uint32_t{bytes[i + 2]} : 0);
        out += base64Alphabet[(group >> 18) & 0x3F];
        out += base64Alphabet[(group >> 12) & 0x3F];
        out += left > 1 ? base64Alphabet[(group >> 6) & 0x3F] : '=';
        out += left > 2 ? base64Alphabet[group & 0x3F] : '=';
    }
    return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') {
        padding = text[text.size() - 2] == '=' ? 2 : 1;
    }
    Bytes out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            std::uint32_t value = 0;
            if (c >= 'A' && c <= 'Z') {
                value = static_cast<std::uint32_t>(c - 'A');
            } else if (c >= 'a' && c <= 'z') {
                value = static_cast<std::uint32_t>(c - 'a' + 26);
            } else if (c >= '0' && c <= '9') {
                value = static_cast<std::uint32_t>(c - '0' + 52);
            } else if (c == '+') {
                value = 62;
            } else if (c == '/') {
                value = 63;
            } else if (c == '=' && i + k >= text.size() - padding) {
                value = 0;
            } else {
                return std::nullopt;
            }
            group = (group << 6) | value;
        }
        const bool last = i + 4 == text.size();
        const std::size_t count = last ? 3 - padding : 3;
        for (std::size_t k = 0; k < count; ++k) {
            out.push_back(static_cast<std::uint8_t>(group >> (16 - 8 * k)));
        }
    }
    return out;
}

} // namespace qm
