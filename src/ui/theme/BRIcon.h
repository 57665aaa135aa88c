#pragma once
// Our one table of symbol names: each name a view asks for maps to a glyph of the bundled
// Material Design icon font, and a few to a second, smaller glyph drawn over it (the font has
// no such glyph of its own). An unknown name gets a visible question-mark glyph, never nothing.

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <string_view>

class QQmlEngine;
class QJSEngine;

namespace qm {

// The glyph of a known symbol name; absent for an unknown one.
std::optional<char32_t> iconGlyph(std::string_view symbolName);

// A smaller glyph centred over a symbol's own: in the symbol's colour, or in the colour behind
// it where it is cut out of a filled shape.
struct IconBadge {
    char32_t glyph = 0;
    bool cutsOut = false;
};
// The badge of a symbol that has one.
std::optional<IconBadge> iconBadge(std::string_view symbolName);
// The glyph shown for a name the table does not know.
char32_t fallbackIconGlyph();

class BRIcon : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString family READ family CONSTANT)

public:
    using QObject::QObject;
    static BRIcon* create(QQmlEngine* engine, QJSEngine* script);

    QString family() const;
    // The text (one glyph) to draw for `symbolName` in the icon font.
    Q_INVOKABLE QString glyph(const QString& symbolName) const;
    // The badge glyph drawn over it; empty for a symbol without one.
    Q_INVOKABLE QString badge(const QString& symbolName) const;
    // Whether the badge is drawn in the colour behind the symbol.
    Q_INVOKABLE bool badgeCutsOut(const QString& symbolName) const;
    // The one symbol of a chain (0 Bitcoin to 4 Solana) wherever the window shows it: Bitcoin's
    // sign, a diamond for every other chain (told apart by its colour).
    Q_INVOKABLE QString chainSymbol(int chain) const;
};

} // namespace qm
