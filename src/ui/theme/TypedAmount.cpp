#include "ui/theme/TypedAmount.h"

#include <algorithm>
#include <string>

namespace qm {

Amount parseTypedAmount(const QString& text, unsigned decimals, const QLocale& locale) {
    std::string typed = text.toStdString();
    if (locale.decimalPoint() == QStringLiteral(",")) {
        std::replace(typed.begin(), typed.end(), ',', '.');
    }
    return Amount::parse(typed, decimals);
}

} // namespace qm
