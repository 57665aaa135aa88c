#pragma once
// Dollar texts of the portfolio and token rows, in the user's locale (QLocale()); a locale
// that names no territory (C, POSIX) writes them as en_US does.

#include <QString>

namespace qm {

// `value` as US dollars with two fraction digits in the user's locale ("$1,234.50" in
// en_US, "1.234,50 $" in de_DE); "$0.00" for a value that is no number. No floor.
QString formatUSD(double value);
// As formatUSD, but "< $0.01" for a value above 0 and below one cent.
QString formatTokenUSD(double value);

} // namespace qm
