#include "core/crypto/Base58.h"

#include "core/crypto/AsciiDigitTable.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace qm {
namespace {

// Digit value per ASCII code, -1 outside the alphabet.
constexpr std::array<std::int8_t, 128> base58DecodeTable = asciiDigitTable(base58Alphabet);

} // namespace

std::string base58Encode(ByteView bytes) {
    std::size_t zeros = 0;
    while (zeros < bytes.size() && bytes[zeros] == 0) {
        ++zeros;
    }

    // Repeated division by 58 of the big-endian number after the leading zeros;
    // `start` skips quotient bytes that have become zero at the front.
    Bytes number(bytes.begin() + static_cast<std::ptrdiff_t>(zeros), bytes.end());
    std::string digits; // least significant first
    std::size_t start = 0;
    while (start < number.size()) {
        unsigned remainder = 0;
        for (std::size_t i = start; i < number.size(); ++i) {
            const unsigned value = (remainder << 8) | number[i];
            number[i] = static_cast<std::uint8_t>(value / 58);
            remainder = value % 58;
        }
        digits.push_back(base58Alphabet[remainder]);
        while (start < number.size() && number[start] == 0) {
            ++start;
        }
    }

    std::string text(zeros, '1');
    text.append(digits.rbegin(), digits.rend());
    return text;
}

std::optional<Bytes> base58Decode(std::string_view text) {
    if (text.empty()) {
        return Bytes{};
    }
    std::size_t ones = 0;
    while (ones < text.size() && text[ones] == '1') {
        ++ones;
    }

    // 733/1000 bounds log(58)/log(256), so the number always fits.
    Bytes buffer(text.size() * 733 / 1000 + 1, 0);
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 0x80 || base58DecodeTable[code] < 0) {
            return std::nullopt;
        }
        unsigned carry = static_cast<unsigned>(base58DecodeTable[code]);
        for (auto it = buffer.rbegin(); it != buffer.rend(); ++it) {
            carry += 58u * *it;
            *it = static_cast<std::uint8_t>(carry & 0xFF);
            carry >>= 8;
        }
        if (carry != 0) {
            return std::nullopt;
        }
    }

    std::size_t skip = 0;
    while (skip < buffer.size() && buffer[skip] == 0) {
        ++skip;
    }
    Bytes out(ones, 0);
    out.insert(out.end(), buffer.begin() + static_cast<std::ptrdiff_t>(skip), buffer.end());
    return out;
}

} // namespace qm
