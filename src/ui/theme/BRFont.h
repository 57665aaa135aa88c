#pragma once
// The thirteen fixed text styles, in bundled fonts (Inter, JetBrains Mono) so the window
// looks the same on every machine. Sizes are in points; one point is one logical pixel.

#include <QFont>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace qm {

class BRFont : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QFont display READ display CONSTANT)
    Q_PROPERTY(QFont largeTitle READ largeTitle CONSTANT)
    Q_PROPERTY(QFont title READ title CONSTANT)
    Q_PROPERTY(QFont headline READ headline CONSTANT)
    Q_PROPERTY(QFont body READ body CONSTANT)
    Q_PROPERTY(QFont callout READ callout CONSTANT)
    Q_PROPERTY(QFont caption READ caption CONSTANT)
    Q_PROPERTY(QFont caption2 READ caption2 CONSTANT)
    Q_PROPERTY(QFont label READ label CONSTANT)
    Q_PROPERTY(QFont micro READ micro CONSTANT)
    Q_PROPERTY(QFont mono READ mono CONSTANT)
    Q_PROPERTY(QFont monoSmall READ monoSmall CONSTANT)
    Q_PROPERTY(QFont monoMedium READ monoMedium CONSTANT)
    Q_PROPERTY(QString family READ family CONSTANT)
    Q_PROPERTY(QString monoFamily READ monoFamily CONSTANT)

public:
    using QObject::QObject;
    static BRFont* create(QQmlEngine* engine, QJSEngine* script);

    // Registers the fonts compiled into the program's resources; call once before any view.
    // False when one of them could not be loaded (the system font then stands in).
    static bool loadBundledFonts();

    // The default design at `size` points and `weight`; the monospaced design likewise.
    static QFont system(qreal size, QFont::Weight weight);
    static QFont monospaced(qreal size, QFont::Weight weight);

    QFont display() const { return system(48, QFont::Medium); }
    QFont largeTitle() const { return system(28, QFont::Medium); }
    QFont title() const { return system(22, QFont::Medium); }
    QFont headline() const { return system(17, QFont::Medium); }
    QFont body() const { return system(15, QFont::Medium); }
    QFont callout() const { return system(13, QFont::Normal); }
    QFont caption() const { return system(12, QFont::Normal); }
    QFont caption2() const { return system(11, QFont::Normal); }
    QFont label() const { return system(11, QFont::Medium); }
    QFont micro() const { return system(10, QFont::Medium); }
    QFont mono() const { return monospaced(13, QFont::Normal); }
    QFont monoSmall() const { return monospaced(11, QFont::Normal); }
    QFont monoMedium() const { return monospaced(13, QFont::Medium); }

    QString family() const;
    QString monoFamily() const;

    // Fonts of other sizes for views that name a size of their own.
    Q_INVOKABLE QFont systemFont(qreal size, int weight) const;
    Q_INVOKABLE QFont monospacedFont(qreal size, int weight) const;
};

} // namespace qm
