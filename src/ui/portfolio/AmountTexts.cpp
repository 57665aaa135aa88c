#include "ui/portfolio/AmountTexts.h"

#include "core/model/Amount.h"
#include "ui/portfolio/FiatText.h"

namespace qm {

AmountTexts* AmountTexts::create(QQmlEngine*, QJSEngine*) {
    return new AmountTexts;
}

QString AmountTexts::formatTokenAmount(double amount, const QString& symbol) const {
    return QString::fromStdString(qm::formatTokenAmount(amount, symbol.toStdString()));
}

QString AmountTexts::formatUSD(double value) const {
    return qm::formatUSD(value);
}

QString AmountTexts::formatTokenUSD(double value) const {
    return qm::formatTokenUSD(value);
}

} // namespace qm
