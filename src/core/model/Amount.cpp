#include "core/model/Amount.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <utility>

namespace qm {
namespace {

__extension__ typedef unsigned __int128 UInt128;

const char* amountText(AmountError::Kind kind) {
    switch (kind) {
    case AmountError::Kind::empty:
        return "Enter an amount";
    case AmountError::Kind::notANumber:
        return "Not a number";
    case AmountError::Kind::decimalComma:
        return "Use a point as the decimal separator";
    case AmountError::Kind::negative:
        return "The amount cannot be negative";
    case AmountError::Kind::tooManyDecimals:
        return "Too many decimal places";
    case AmountError::Kind::tooLarge:
        return "The amount is too large";
    case AmountError::Kind::unsupportedDecimals:
        return "Unsupported number of decimal places";
    }
    return "";
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// value = value * 10 + digit; false (value unchanged) when the result needs more than 256 bits.
bool appendDigit(UInt256& value, unsigned digit) {
    std::array<std::uint64_t, 4> words = {value.w3, value.w2, value.w1, value.w0};
    std::uint64_t carry = digit;
    for (std::uint64_t& word : words) {
        const UInt128 t = static_cast<UInt128>(word) * 10 + carry;
        word = static_cast<std::uint64_t>(t);
        carry = static_cast<std::uint64_t>(t >> 64);
    }
    if (carry != 0) {
        return false;
    }
    value = UInt256(words[3], words[2], words[1], words[0]);
    return true;
}

// The value rounded once to the nearest double. The top 64 significant bits go through the
// exact-rounding integer conversion, with any lower set bit folded into bit 0 so that a
// value just above a halfway point does not round down.
double toDouble(const UInt256& value) {
    const std::array<std::uint64_t, 4> words = {value.w0, value.w1, value.w2, value.w3};
    std::size_t top = 0;
    while (top < 4 && words[top] == 0) {
        ++top;
    }
    if (top == 4) {
        return 0.0;
    }
    if (top == 3) {
        return static_cast<double>(words[3]);
    }
    const int lead = std::countl_zero(words[top]);
    const std::uint64_t next = words[top + 1];
    std::uint64_t mantissa = lead == 0 ? words[top] : (words[top] << lead) | (next >> (64 - lead));
    bool sticky = lead != 0 && (next << lead) != 0;
    for (std::size_t i = top + 2; i < 4; ++i) {
        sticky = sticky || words[i] != 0;
    }
    if (sticky) {
        mantissa |= 1;
    }
    return std::ldexp(static_cast<double>(mantissa), static_cast<int>(64 * (3 - top)) - lead);
}

// An unsigned decimal number as its digits and a power of ten: the text is digits x 10^scale.
struct Decimal {
    std::string digits;
    std::int64_t scale = 0;
};

Decimal readUnsignedDecimal(std::string_view text) {
    // Exponents beyond this only make a non-zero value too large or too fine.
    constexpr std::int64_t exponentLimit = 1'000'000'000;
    Decimal number;
    std::size_t i = 0;
    bool anyDigit = false;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        number.digits.push_back(text[i]);
        anyDigit = true;
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isDigit(text[i]); ++i) {
            number.digits.push_back(text[i]);
            --number.scale;
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        throw AmountError(i < text.size() && text[i] == ',' ? AmountError::Kind::decimalComma
                                                            : AmountError::Kind::notANumber);
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        if (i == text.size() || !isDigit(text[i])) {
            throw AmountError(AmountError::Kind::notANumber);
        }
        std::int64_t exponent = 0;
        for (; i < text.size() && isDigit(text[i]); ++i) {
            exponent = std::min(exponent * 10 + (text[i] - '0'), exponentLimit);
        }
        number.scale += negativeExponent ? -exponent : exponent;
    }
    if (i != text.size()) {
        throw AmountError(text[i] == ',' ? AmountError::Kind::decimalComma
                                         : AmountError::Kind::notANumber);
    }
    return number;
}

} // namespace

AmountError::AmountError(Kind kind) : Error(amountText(kind)), m_kind(kind) {}

Amount Amount::parse(std::string_view text, unsigned decimals) {
    // The exponent is read only up to a limit; decimals past that limit would turn what it
    // cut off into a wrong value instead of a refusal.
    if (decimals > maxDecimals) {
        throw AmountError(AmountError::Kind::unsupportedDecimals);
    }
    if (text.empty()) {
        throw AmountError(AmountError::Kind::empty);
    }
    const bool negative = text.front() == '-';
    if (text.front() == '+' || negative) {
        text.remove_prefix(1);
    }
    Decimal number = readUnsignedDecimal(text);
    if (negative) {
        throw AmountError(AmountError::Kind::negative);
    }
    // Base units = digits x 10^(scale + decimals); leading and trailing zeros carry no value.
    std::string_view digits = number.digits;
    std::int64_t scale = number.scale + static_cast<std::int64_t>(decimals);
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    Amount amount;
    amount.decimals = decimals;
    if (digits.empty()) {
        return amount;
    }
    const std::size_t significant = digits.find_last_not_of('0') + 1;
    scale += static_cast<std::int64_t>(digits.size() - significant);
    digits = digits.substr(0, significant);
    if (scale < 0) {
        throw AmountError(AmountError::Kind::tooManyDecimals);
    }
    // 2^256 has 78 decimal digits: more is too large whatever they are.
    constexpr std::int64_t maxDigits = 78;
    if (static_cast<std::int64_t>(digits.size()) + scale > maxDigits) {
        throw AmountError(AmountError::Kind::tooLarge);
    }
    for (char c : digits) {
        if (!appendDigit(amount.value, static_cast<unsigned>(c - '0'))) {
            throw AmountError(AmountError::Kind::tooLarge);
        }
    }
    for (std::int64_t i = 0; i < scale; ++i) {
        if (!appendDigit(amount.value, 0)) {
            throw AmountError(AmountError::Kind::tooLarge);
        }
    }
    return amount;
}

namespace {

// The integer and fraction digits of value / 10^decimals, the fraction exactly `decimals` long.
std::pair<std::string, std::string> splitDigits(const UInt256& value, unsigned decimals) {
    std::string digits = value.decimalString();
    if (digits.size() <= decimals) {
        digits.insert(0, decimals + 1 - digits.size(), '0');
    }
    const std::size_t point = digits.size() - decimals;
    return {digits.substr(0, point), digits.substr(point)};
}

// Adds one to the decimal digits in place; "99" becomes "100".
void incrementDigits(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    digits.insert(0, 1, '1');
}

} // namespace

std::string Amount::exactText() const {
    auto [integer, fraction] = splitDigits(value, decimals);
    fraction.erase(fraction.find_last_not_of('0') + 1);
    return fraction.empty() ? integer : integer + "." + fraction;
}

std::string Amount::fixedText(unsigned fractionDigits) const {
    auto [integer, fraction] = splitDigits(value, decimals);
    if (fraction.size() > fractionDigits) {
        const bool roundUp = fraction[fractionDigits] >= '5';
        fraction.resize(fractionDigits);
        if (roundUp) {
            std::string joined = integer + fraction;
            incrementDigits(joined);
            integer = joined.substr(0, joined.size() - fractionDigits);
            fraction = joined.substr(joined.size() - fractionDigits);
        }
    } else {
        fraction.append(fractionDigits - fraction.size(), '0');
    }
    return fractionDigits == 0 ? integer : integer + "." + fraction;
}

std::string Amount::listNumberText() const {
    if (value.isZero()) {
        return "0";
    }
    // The size is judged on the rounded figure, so that a value that rounds up to the next
    // size is written as that size is ("1000.00", not "1000.0000").
    std::string text = fixedText(6);
    if (!text.starts_with("0.00")) {
        text = fixedText(4);
        if (text.find('.') > 3) {
            text = fixedText(2);
        }
    }
    return text;
}

std::string Amount::exactAmountText(std::string_view symbol) const {
    std::string text = listNumberText();
    text += ' ';
    text += symbol;
    return text;
}

double Amount::toDouble() const {
    return wholeUnits(value, decimals);
}

double wholeUnits(const UInt256& value, std::int64_t decimals) {
    return toDouble(value) / std::pow(10.0, static_cast<double>(decimals));
}

std::string fixedPointText(double value, int digits) {
    // Room for the largest double's 309 integer digits, its sign and the fraction.
    std::array<char, 400> buffer{};
    const auto [stop, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                             std::chars_format::fixed, digits);
    if (error != std::errc()) {
        return "0";
    }
    return std::string(buffer.data(), stop);
}

} // namespace qm
