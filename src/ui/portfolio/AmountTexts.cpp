#include "ui/portfolio/AmountTexts.h"

#include "core/model/Amount.h"
#include "state/AmountFormatting.h"
#include "ui/portfolio/FiatText.h"

#include <cmath>

namespace qm {

AmountTexts* AmountTexts::create(QQmlEngine*, QJSEngine*) {
    return new AmountTexts;
}

QString AmountTexts::formatTokenAmount(const QString& baseUnits, int decimals,
                                       const QString& symbol) const {
    return QString::fromStdString(qm::formatTokenAmount(baseUnits.toStdString(), decimals)) + u' ' +
           symbol;
}

QString AmountTexts::formatUSD(double value) const {
    return qm::formatUSD(value);
}

QString AmountTexts::formatTokenUSD(double value) const {
    return qm::formatTokenUSD(value);
}

QString AmountTexts::formatHoldingUSD(const QString& baseUnits, double balanceFormatted,
                                      const QVariant& priceUSD) const {
    bool held = false;
    try {
        held = !Amount::parse(baseUnits.toStdString(), 0).value.isZero();
    } catch (const AmountError&) {
        // No amount: listed as 0, worth nothing.
    }
    // A number from QML: a double, or an integer when it has no fraction; null is no price.
    std::optional<double> price;
    switch (priceUSD.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (std::isfinite(priceUSD.toDouble())) {
            price = priceUSD.toDouble();
        }
        break;
    default:
        break;
    }
    return tokenValueText(holdingValueUSD(held, balanceFormatted, price));
}

} // namespace qm
