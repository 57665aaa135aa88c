#pragma once
// Dollar texts of the portfolio and token rows, in the user's locale (QLocale()); a locale
// that names no territory (C, POSIX) writes them as en_US does.

#include <QString>
#include <optional>

namespace qm {

struct TokenBalance;

// `value` as US dollars with two fraction digits in the user's locale ("$1,234.50" in
// en_US, "1.234,50 $" in de_DE); "$0.00" for a value that is no number. No floor.
QString formatUSD(double value);
// As formatUSD, but "< $0.01" for a value above 0 and below one cent.
QString formatTokenUSD(double value);

// A holding's dollar value: 0 when nothing is held, whatever its price; `amount` times `price`
// when priced; none when something is held at a price not known (worth an unknown amount, which
// is no zero).
std::optional<double> holdingValueUSD(bool held, double amount, std::optional<double> price);
// That of an ERC-20 holding: held when its exact balance is above zero; none when its balance
// was never read.
std::optional<double> holdingValueUSD(const TokenBalance& balance);
// formatUSD and formatTokenUSD of a value; the unknown mark ("—") for none.
QString valueText(std::optional<double> value);
QString tokenValueText(std::optional<double> value);

} // namespace qm
