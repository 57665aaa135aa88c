#pragma once
// Our one table of symbol names: each name a view asks for maps to a glyph of the bundled
// Material Design icon font. An unknown name gets a visible question-mark glyph, never nothing.

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
};

} // namespace qm
