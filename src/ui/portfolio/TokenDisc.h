#pragma once
// What a token's round badge shows of its symbol: the first two characters upper-cased and a
// hue derived from the symbol's text.

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <cstdint>

class QQmlEngine;
class QJSEngine;

namespace qm {

// The first two user-perceived characters (grapheme clusters) of `symbol`, fewer when it is
// shorter, upper-cased: "usdc" -> "US", "e\u0301th" -> "E\u0301T".
QString tokenInitials(const QString& symbol);
// A 64-bit hash of the symbol's UTF-8 text, fixed across runs (FNV-1a), read as signed.
std::int64_t symbolHash(const QString& symbol);
// |hash| mod 360, the magnitude taken as unsigned so the most negative hash has one too.
int hueIndex(std::int64_t hash);

class TokenDisc : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    static TokenDisc* create(QQmlEngine* engine, QJSEngine* script);

    Q_INVOKABLE QString initials(const QString& symbol) const { return tokenInitials(symbol); }
    // Hue 0..359 / 360 of the badge's tint.
    Q_INVOKABLE double hue(const QString& symbol) const {
        return hueIndex(symbolHash(symbol)) / 360.0;
    }
};

} // namespace qm
