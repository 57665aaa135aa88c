#include "ui/swap/SwapTokenVariant.h"

namespace qm {

QVariantMap swapTokenToVariant(const std::optional<SwapToken>& token) {
    if (!token) {
        return {};
    }
    return {{"symbol", QString::fromStdString(token->symbol)},
            {"address", QString::fromStdString(token->address)},
            {"decimals", static_cast<qint64>(token->decimals)},
            {"isNative", token->isNative}};
}

std::optional<SwapToken> swapTokenFromVariant(const QVariant& value) {
    const QVariantMap map = value.toMap();
    if (!map.contains("symbol") || !map.contains("address")) {
        return std::nullopt;
    }
    return SwapToken{map.value("symbol").toString().toStdString(),
                     map.value("address").toString().toStdString(),
                     map.value("decimals").toLongLong(), map.value("isNative").toBool()};
}

} // namespace qm
