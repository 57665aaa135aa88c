#include "ui/portfolio/FiatText.h"

#include "core/model/Token.h"
#include "state/AmountFormatting.h"
#include "ui/shell/SidebarItems.h"

#include <QLocale>
#include <cmath>

namespace qm {
namespace {

// The user's locale, unless it names no territory (C, POSIX, C.UTF-8: the default of many
// minimal systems), whose currency format would read "1,234.50$": then the dollar's own.
QLocale dollarLocale() {
    const QLocale user;
    if (user.territory() == QLocale::AnyTerritory) {
        return QLocale(QLocale::English, QLocale::UnitedStates);
    }
    return user;
}

} // namespace

QString formatUSD(double value) {
    if (!std::isfinite(value)) {
        return QStringLiteral("$0.00");
    }
    // Cents rounded half to even, as a currency formatter does: 0.125 -> 0.12, 0.375 -> 0.38.
    // Past 2^53 cents the double holds no cents at all and is shown as it is.
    const double cents = value * 100;
    const double rounded = std::abs(cents) < 9e15 ? std::nearbyint(cents) / 100 : value;
    const QString text = dollarLocale().toCurrencyString(rounded, QStringLiteral("$"), 2);
    return text.isEmpty() ? QStringLiteral("$0.00") : text;
}

QString formatTokenUSD(double value) {
    if (value > 0 && value < 0.01) {
        return QStringLiteral("< $0.01");
    }
    return formatUSD(value);
}

std::optional<double> holdingValueUSD(bool held, double amount, std::optional<double> price) {
    if (!held) {
        return 0.0;
    }
    if (!price) {
        return std::nullopt;
    }
    return amount * *price;
}

std::optional<double> holdingValueUSD(const TokenBalance& balance) {
    if (!balance.balanceKnown) {
        return std::nullopt;
    }
    return holdingValueUSD(!tokenBalanceAmount(balance).value.isZero(), balance.balanceFormatted,
                           balance.priceUSD);
}

QString valueText(std::optional<double> value) {
    return value ? formatUSD(*value) : unknownFigureText();
}

QString tokenValueText(std::optional<double> value) {
    return value ? formatTokenUSD(*value) : unknownFigureText();
}

} // namespace qm
