#pragma once
// An exact amount of a coin or token: an integer of base units and the asset's number of
// decimals. Typed amount texts become base units here without going through a double, and
// every amount text the screens show is made here from the exact value.

#include "core/crypto/UInt256.h"
#include "platform/Error.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

class AmountError : public Error {
public:
    enum class Kind {
        empty,           // "Enter an amount"
        notANumber,      // "Not a number"
        decimalComma,    // "Use a point as the decimal separator"
        negative,        // "The amount cannot be negative"
        tooManyDecimals, // "Too many decimal places"
        tooLarge,        // "The amount is too large"
        // "Unsupported number of decimal places": more than Amount::maxDecimals
        unsupportedDecimals,
    };
    explicit AmountError(Kind kind);
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

struct Amount {
    UInt256 value; // base units
    unsigned decimals = 0;

    // The most decimals an asset may have (an ERC-20 token's is one byte): past it a non-zero
    // amount of at most 256 bits cannot be written at all.
    static constexpr unsigned maxDecimals = 255;

    // The amount a user typed, read exactly in the C locale whatever the user's locale:
    // digits with an optional "." fraction ("1", "1.1", ".5", "1.") and an optional exponent
    // ("1e-3", "2.5E+2"), an optional leading "+". Fraction digits beyond `decimals` may only
    // be zeros. Throws AmountError for empty text, anything else (blanks, "," separators,
    // "inf", hexadecimal), a "-" sign, a value finer than one base unit, 2^256 base units
    // or more, and (before reading the text) decimals above maxDecimals.
    static Amount parse(std::string_view text, unsigned decimals);

    // The exact amount in plain decimal notation, every digit it needs and no trailing zeros
    // ("1.1", "25", "0.000000000000000001"): what "Max" writes, and Amount::parse reads it
    // back to the same value.
    std::string exactText() const;
    // The amount with exactly `fractionDigits` digits after ".", from the exact value: extra
    // digits of the asset are rounded half up, missing ones are zeros (what "%.Nf" shows,
    // without a double in between).
    std::string fixedText(unsigned fractionDigits) const;
    // The number of the amount texts in lists, from the exact value: "0" for zero, else 6
    // fraction digits below 0.01, 4 below 1000 and 2 from 1000 up, rounded half up. The size
    // is that of the figure shown: 999.99995 rounds to 1000 and reads "1000.00", 0.0099999995
    // reads "0.0100". Any number of decimals; never a double.
    std::string listNumberText() const;
    // listNumberText(), a blank, `symbol`: the one text of an amount in every list.
    std::string exactAmountText(std::string_view symbol) const;

    // value / 10^decimals as a double, for dollar values and charts only (never a text).
    double toDouble() const;

    bool operator==(const Amount&) const = default;
};

// `value` rounded once to the nearest double, divided by 10^decimals.
double wholeUnits(const UInt256& value, std::int64_t decimals);

// `value` with exactly `digits` fraction digits and "." as the decimal point (printf's "%.Nf"
// in the C locale, never the user's): prices and chart axes, never an amount.
std::string fixedPointText(double value, int digits);

} // namespace qm
