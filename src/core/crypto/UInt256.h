#pragma once
// The wallet's unsigned 256-bit integer for EVM quantities: token amounts,
// balances, gas prices, values and 32-byte ABI words. Deliberately small: byte
// and text conversions, comparison and a multiplication modulo 2^256.

#include "platform/Bytes.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace qm {

class UInt256 {
public:
    // The value is w0 * 2^192 + w1 * 2^128 + w2 * 2^64 + w3 (w0 most significant).
    std::uint64_t w0 = 0;
    std::uint64_t w1 = 0;
    std::uint64_t w2 = 0;
    std::uint64_t w3 = 0;

    constexpr UInt256() = default;
    constexpr UInt256(std::uint64_t word0, std::uint64_t word1, std::uint64_t word2,
                      std::uint64_t word3)
        : w0(word0), w1(word1), w2(word2), w3(word3) {}

    // Big-endian bytes, right-aligned: fewer than 32 bytes are padded with leading
    // zeros, none give zero. Of a longer input only the last 32 bytes count (the
    // value modulo 2^256); callers pass at most 32.
    static UInt256 fromBigEndianBytes(ByteView bytes);

    // Hexadecimal text with an optional "0x" or "0X" prefix and at most 64 digits;
    // "" and "0x" give zero. Absent for any other character or for 65 or more digits.
    static std::optional<UInt256> fromHex(std::string_view text);

    // Decimal text (UTF-8): every character whose Unicode numeric value is a whole
    // number 0-9 is a digit; every other character is skipped. Wraps modulo 2^256
    // and never fails.
    static UInt256 fromDecimalString(std::string_view text);

    // Big-endian bytes without leading zero bytes; zero gives no bytes.
    Bytes minimalBigEndianBytes() const;
    // Exactly 32 big-endian bytes: the ABI encoding of a uint256.
    Bytes bigEndianWord() const;
    // "0x" and lowercase hex digits without leading zeros; zero is "0x0".
    std::string description() const;

    // The low 256 bits of this value times `other`.
    UInt256 multipliedTruncating(const UInt256& other) const;

    // Exact arithmetic: absent when the result is not a value of 0 ... 2^256 - 1 (a sum or
    // product that overflows, a difference below zero, a zero divisor).
    std::optional<UInt256> checkedAdd(const UInt256& other) const;
    std::optional<UInt256> checkedSubtract(const UInt256& other) const;
    std::optional<UInt256> checkedMultiply(const UInt256& other) const;
    // this * multiplier / divisor rounded down, the product kept whole (512 bits) so only
    // the quotient must fit: the form prices and proportional amounts need.
    std::optional<UInt256> checkedMultiplyDivide(const UInt256& multiplier,
                                                 const UInt256& divisor) const;

    // The quotient and remainder of this / divisor; absent for a zero divisor.
    std::optional<std::pair<UInt256, UInt256>> dividedWithRemainder(const UInt256& divisor) const;

    // 10^exponent; absent from 10^78 up.
    static std::optional<UInt256> powerOfTen(unsigned exponent);
    // 2^256 - 1.
    static constexpr UInt256 max() { return {~0ULL, ~0ULL, ~0ULL, ~0ULL}; }
    bool isZero() const { return (w0 | w1 | w2 | w3) == 0; }
    // The value in decimal digits without leading zeros ("0" for zero).
    std::string decimalString() const;
    // The value when it fits 64 bits.
    std::optional<std::uint64_t> toUInt64() const;

    // Numeric order: words compared from w0 down.
    friend constexpr auto operator<=>(const UInt256&, const UInt256&) = default;
};

// Stores `value` big-endian in into[offset ... offset + 7]. Throws std::out_of_range
// when those bytes are not all inside `into`.
void writeUInt64BigEndian(std::uint64_t value, std::size_t offset, std::span<std::uint8_t> into);

} // namespace qm
