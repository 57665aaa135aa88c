#include "core/crypto/UInt256.h"

#include "core/crypto/UnicodeDigits.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>
#include <vector>

namespace qm {
namespace {

__extension__ typedef unsigned __int128 UInt128;

std::uint64_t readUInt64BigEndian(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v = v << 8 | p[i];
    }
    return v;
}

std::optional<int> hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return std::nullopt;
}

// Decodes UTF-8 into scalars; a byte that starts no valid sequence becomes
// U+FFFD, which is no digit, so malformed text is skipped like any other non-digit.
std::vector<char32_t> decodeUtf8(std::string_view text) {
    constexpr char32_t replacement = 0xFFFD;
    std::vector<char32_t> out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        int extra = 0;
        char32_t scalar = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, scalar = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, scalar = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, scalar = lead & 0x07, minimum = 0x10000;
        } else {
            out.push_back(replacement);
            ++i;
            continue;
        }
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(extra) && i + j < text.size(); ++j) {
            const auto next = static_cast<std::uint8_t>(text[i + j]);
            if ((next & 0xC0) != 0x80) {
                break;
            }
            scalar = scalar << 6 | (next & 0x3F);
        }
        if (j != static_cast<std::size_t>(extra) + 1 || scalar < minimum || scalar > 0x10FFFF ||
            (scalar >= 0xD800 && scalar <= 0xDFFF)) {
            out.push_back(replacement);
            ++i;
            continue;
        }
        out.push_back(scalar);
        i += j;
    }
    return out;
}

// this = this * 10 + digit, modulo 2^256.
UInt256 appendDigit(const UInt256& value, int digit) {
    UInt256 out = value.multipliedTruncating(UInt256(0, 0, 0, 10));
    std::uint64_t carry = static_cast<std::uint64_t>(digit);
    for (std::uint64_t* word : {&out.w3, &out.w2, &out.w1, &out.w0}) {
        const std::uint64_t sum = *word + carry;
        carry = sum < carry ? 1 : 0;
        *word = sum;
    }
    return out;
}

// Least significant word first, for the carry loops.
using Limbs = std::array<std::uint64_t, 4>;

Limbs limbs(const UInt256& v) {
    return {v.w3, v.w2, v.w1, v.w0};
}

UInt256 fromLimbs(const Limbs& l) {
    return UInt256(l[3], l[2], l[1], l[0]);
}

// The whole 512-bit product, least significant word first.
std::array<std::uint64_t, 8> fullProduct(const UInt256& x, const UInt256& y) {
    const Limbs a = limbs(x);
    const Limbs b = limbs(y);
    std::array<std::uint64_t, 8> r{};
    for (std::size_t i = 0; i < 4; ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const UInt128 t = static_cast<UInt128>(a[i]) * b[j] + r[i + j] + carry;
            r[i + j] = static_cast<std::uint64_t>(t);
            carry = static_cast<std::uint64_t>(t >> 64);
        }
        r[i + 4] = carry;
    }
    return r;
}

// a - b modulo 2^256, and whether it borrowed (b > a).
std::pair<Limbs, bool> subtractLimbs(const Limbs& a, const Limbs& b) {
    Limbs out{};
    std::uint64_t borrow = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint64_t d = a[i] - b[i];
        const std::uint64_t next = (a[i] < b[i]) || (d < borrow) ? 1 : 0;
        out[i] = d - borrow;
        borrow = next;
    }
    return {out, borrow != 0};
}

// limbs = limbs / divisor, in place; returns the remainder. Exact: each step divides the
// remainder so far (below the divisor) and the next word, which fits 128 bits.
std::uint64_t divideLimbs(Limbs& limbs, std::uint64_t divisor) {
    std::uint64_t remainder = 0;
    for (std::size_t i = limbs.size(); i-- > 0;) {
        const UInt128 part = static_cast<UInt128>(remainder) << 64 | limbs[i];
        limbs[i] = static_cast<std::uint64_t>(part / divisor);
        remainder = static_cast<std::uint64_t>(part % divisor);
    }
    return remainder;
}

} // namespace

std::optional<UInt256> UInt256::powerOfTen(unsigned exponent) {
    UInt256 value(0, 0, 0, 1);
    for (unsigned i = 0; i < exponent; ++i) {
        const std::optional<UInt256> next = value.checkedMultiply(UInt256(0, 0, 0, 10));
        if (!next) {
            return std::nullopt;
        }
        value = *next;
    }
    return value;
}

std::optional<UInt256> UInt256::checkedAdd(const UInt256& other) const {
    const Limbs x = limbs(*this);
    const Limbs y = limbs(other);
    Limbs out{};
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const UInt128 t = static_cast<UInt128>(x[i]) + y[i] + carry;
        out[i] = static_cast<std::uint64_t>(t);
        carry = static_cast<std::uint64_t>(t >> 64);
    }
    if (carry != 0) {
        return std::nullopt;
    }
    return fromLimbs(out);
}

std::optional<UInt256> UInt256::checkedSubtract(const UInt256& other) const {
    const auto [difference, borrowed] = subtractLimbs(limbs(*this), limbs(other));
    if (borrowed) {
        return std::nullopt;
    }
    return fromLimbs(difference);
}

std::optional<UInt256> UInt256::checkedMultiply(const UInt256& other) const {
    const auto product = fullProduct(*this, other);
    if ((product[4] | product[5] | product[6] | product[7]) != 0) {
        return std::nullopt;
    }
    return fromLimbs({product[0], product[1], product[2], product[3]});
}

std::optional<UInt256> UInt256::checkedMultiplyDivide(const UInt256& multiplier,
                                                      const UInt256& divisor) const {
    if (divisor.isZero()) {
        return std::nullopt;
    }
    const auto product = fullProduct(*this, multiplier);
    const Limbs d = limbs(divisor);
    // A high half at or above the divisor means a quotient of 2^256 or more.
    if (fromLimbs({product[4], product[5], product[6], product[7]}) >= divisor) {
        return std::nullopt;
    }
    // Shift-and-subtract over the 512 bits. The remainder stays below the divisor, so after a
    // shift it needs at most one bit beyond 256: `top` holds it.
    Limbs remainder{};
    Limbs quotient{};
    for (int bit = 511; bit >= 0; --bit) {
        const bool top = (remainder[3] >> 63) != 0;
        for (std::size_t i = 3; i > 0; --i) {
            remainder[i] = remainder[i] << 1 | remainder[i - 1] >> 63;
        }
        remainder[0] =
            remainder[0] << 1 |
            (product[static_cast<std::size_t>(bit) / 64] >> (static_cast<unsigned>(bit) % 64) & 1);
        const auto [reduced, borrowed] = subtractLimbs(remainder, d);
        if (top || !borrowed) {
            remainder = reduced;
            if (bit < 256) {
                quotient[static_cast<std::size_t>(bit) / 64] |=
                    std::uint64_t{1} << (static_cast<unsigned>(bit) % 64);
            }
        }
    }
    return fromLimbs(quotient);
}

std::optional<std::pair<UInt256, UInt256>>
UInt256::dividedWithRemainder(const UInt256& divisor) const {
    const std::optional<UInt256> quotient = checkedMultiplyDivide(UInt256(0, 0, 0, 1), divisor);
    if (!quotient) {
        return std::nullopt; // a zero divisor
    }
    // quotient * divisor <= this: neither step can overflow.
    return std::pair{*quotient, *checkedSubtract(quotient->multipliedTruncating(divisor))};
}

std::string UInt256::decimalString() const {
    // Nineteen digits at a time: 10^19 is the largest power of ten below 2^64, so each step is
    // one 128-by-64-bit division per word.
    constexpr std::uint64_t chunk = 10'000'000'000'000'000'000ULL;
    Limbs rest = limbs(*this);
    std::string digits;
    do {
        const std::uint64_t remainder = divideLimbs(rest, chunk);
        std::string part = std::to_string(remainder);
        if ((rest[0] | rest[1] | rest[2] | rest[3]) != 0) {
            part.insert(0, 19 - part.size(), '0');
        }
        digits.insert(0, part);
    } while ((rest[0] | rest[1] | rest[2] | rest[3]) != 0);
    return digits;
}

std::optional<std::uint64_t> UInt256::toUInt64() const {
    if ((w0 | w1 | w2) != 0) {
        return std::nullopt;
    }
    return w3;
}

UInt256 UInt256::fromBigEndianBytes(ByteView bytes) {
    std::uint8_t padded[32] = {};
    const std::size_t count = std::min<std::size_t>(bytes.size(), 32);
    std::copy(bytes.end() - static_cast<std::ptrdiff_t>(count), bytes.end(), padded + (32 - count));
    return UInt256(readUInt64BigEndian(padded), readUInt64BigEndian(padded + 8),
                   readUInt64BigEndian(padded + 16), readUInt64BigEndian(padded + 24));
}

std::optional<UInt256> UInt256::fromHex(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    for (char c : text) {
        if (!hexDigitValue(c)) {
            return std::nullopt;
        }
    }
    if (text.size() >= 65) {
        return std::nullopt;
    }
    // Right-aligned nibbles: an odd count gets its leading "0".
    std::uint8_t bytes[32] = {};
    std::size_t nibble = 64 - text.size();
    for (char c : text) {
        const auto v = static_cast<std::uint8_t>(*hexDigitValue(c));
        bytes[nibble / 2] |= nibble % 2 == 0 ? static_cast<std::uint8_t>(v << 4) : v;
        ++nibble;
    }
    return fromBigEndianBytes(bytes);
}

UInt256 UInt256::fromDecimalString(std::string_view text) {
    const std::vector<char32_t> scalars = decodeUtf8(text);
    UInt256 value;
    for (std::size_t i = 0; i < scalars.size(); ++i) {
        const std::optional<int> digit = unicodeDigitValue(scalars[i]);
        if (!digit) {
            continue;
        }
        // A digit counts only as a character of its own: merged with a combining
        // mark, a variation selector (as in a keycap) or a prepended sign, the
        // character as a whole is no digit.
        const bool merged = (i > 0 && joinsFollowingScalar(scalars[i - 1])) ||
                            (i + 1 < scalars.size() && joinsPrecedingScalar(scalars[i + 1]));
        if (!merged) {
            value = appendDigit(value, *digit);
        }
    }
    return value;
}

Bytes UInt256::bigEndianWord() const {
    Bytes out(32, 0);
    writeUInt64BigEndian(w0, 0, out);
    writeUInt64BigEndian(w1, 8, out);
    writeUInt64BigEndian(w2, 16, out);
    writeUInt64BigEndian(w3, 24, out);
    return out;
}

Bytes UInt256::minimalBigEndianBytes() const {
    Bytes word = bigEndianWord();
    const auto firstNonZero =
        std::find_if(word.begin(), word.end(), [](std::uint8_t b) { return b != 0; });
    word.erase(word.begin(), firstNonZero);
    return word;
}

std::string UInt256::description() const {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (std::uint8_t b : bigEndianWord()) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 0x0F]);
    }
    const std::size_t first = hex.find_first_not_of('0');
    if (first == std::string::npos) {
        return "0x0";
    }
    return "0x" + hex.substr(first);
}

UInt256 UInt256::multipliedTruncating(const UInt256& other) const {
    // Little-endian word order for the schoolbook loop.
    const std::uint64_t a[4] = {w3, w2, w1, w0};
    const std::uint64_t b[4] = {other.w3, other.w2, other.w1, other.w0};
    std::uint64_t r[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        std::uint64_t carry = 0;
        for (int j = 0; i + j < 4; ++j) {
            const UInt128 t = static_cast<UInt128>(a[i]) * b[j] + r[i + j] + carry;
            r[i + j] = static_cast<std::uint64_t>(t);
            carry = static_cast<std::uint64_t>(t >> 64);
        }
        // The carry out of the top word is beyond 2^256 and dropped.
    }
    return UInt256(r[3], r[2], r[1], r[0]);
}

void writeUInt64BigEndian(std::uint64_t value, std::size_t offset, std::span<std::uint8_t> into) {
    if (offset > into.size() || into.size() - offset < 8) {
        throw std::out_of_range("writeUInt64BigEndian: offset outside the byte list");
    }
    for (std::size_t i = 0; i < 8; ++i) {
        into[offset + i] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
    }
}

} // namespace qm
