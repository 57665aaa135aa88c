#pragma once
// The amount and dollar texts for QML: a token amount with its symbol, dollars, and dollars
// with the floor for tiny holdings. The same functions the C++ models use; an amount comes as
// its exact base units, never as a number QML could round.

#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace qm {

class AmountTexts : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    static AmountTexts* create(QQmlEngine* engine, QJSEngine* script);

    // `baseUnits` (decimal digits) / 10^decimals as the lists show it, a blank and `symbol`:
    // "0 ETH", "0.005000 ETH", "12.5000 ETH", "1234.50 ETH"; "0 ETH" for text that is no amount.
    Q_INVOKABLE QString formatTokenAmount(const QString& baseUnits, int decimals,
                                          const QString& symbol) const;
    // "$1,234.50" in en_US; the user's locale (en_US's form without a territory).
    Q_INVOKABLE QString formatUSD(double value) const;
    // As formatUSD, but "< $0.01" above 0 and below a cent.
    Q_INVOKABLE QString formatTokenUSD(double value) const;
    // A token holding's dollars as formatTokenUSD writes them: `balanceFormatted` whole tokens
    // at `priceUSD` (a number); "$0.00" when `baseUnits` (as for formatTokenAmount) is zero,
    // whatever the price; the unknown mark ("—") for a holding without a price.
    Q_INVOKABLE QString formatHoldingUSD(const QString& baseUnits, double balanceFormatted,
                                         const QVariant& priceUSD) const;
};

} // namespace qm
