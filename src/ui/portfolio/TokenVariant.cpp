#include "ui/portfolio/TokenVariant.h"

#include <QJSValue>

namespace qm {

QVariantMap tokenToVariant(const Token& token) {
    return {{QStringLiteral("contractAddress"), QString::fromStdString(token.contractAddress)},
            {QStringLiteral("symbol"), QString::fromStdString(token.symbol)},
            {QStringLiteral("name"), QString::fromStdString(token.name)},
            {QStringLiteral("decimals"), static_cast<qint64>(token.decimals)},
            {QStringLiteral("chain"), QString::fromStdString(rawValue(token.chain))}};
}

std::optional<Token> tokenFromVariant(const QVariant& given) {
    // A map that passed through a QML `var` property comes wrapped as a script value.
    const QVariant value = given.metaType() == QMetaType::fromType<QJSValue>()
                               ? given.value<QJSValue>().toVariant()
                               : given;
    if (value.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    const QVariantMap map = value.toMap();
    const auto text = [&](const char* key) -> std::optional<std::string> {
        const QVariant field = map.value(QString::fromLatin1(key));
        if (field.typeId() != QMetaType::QString) {
            return std::nullopt;
        }
        return field.toString().toStdString();
    };
    const std::optional<std::string> address = text("contractAddress");
    const std::optional<std::string> symbol = text("symbol");
    const std::optional<std::string> name = text("name");
    const std::optional<std::string> chainName = text("chain");
    const std::optional<Chain> chain =
        chainName ? chainFromRawValue(*chainName) : std::optional<Chain>();
    bool decimalsOK = false;
    const qint64 decimals = map.value(QStringLiteral("decimals")).toLongLong(&decimalsOK);
    if (!address || !symbol || !name || !chain || !decimalsOK || decimals < 0) {
        return std::nullopt;
    }
    return Token{*address, *symbol, *name, decimals, *chain};
}

} // namespace qm
