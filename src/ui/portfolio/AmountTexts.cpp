#include "ui/portfolio/AmountTexts.h"

#include "state/AmountFormatting.h"
#include "ui/portfolio/FiatText.h"

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

} // namespace qm
