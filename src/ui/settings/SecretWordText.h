#pragma once
// One recovery-phrase word drawn straight from its model's memory (the reveal sheet, the new
// wallet's phrase): the word never becomes a QML string (which the JavaScript heap could keep
// after the screen has gone); each paint makes a short-lived copy and wipes it.

#include "ui/settings/SecretWordSource.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace qm {

class SecretWordText : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QObject* source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(int index READ index WRITE setIndex NOTIFY indexChanged)
    Q_PROPERTY(QFont font READ font WRITE setFont NOTIFY fontChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit SecretWordText(QQuickItem* parent = nullptr);

    QObject* source() const { return m_source; }
    // A QObject that is a SecretWordSource; any other object draws nothing.
    void setSource(QObject* source);
    int index() const { return m_index; }
    void setIndex(int index);
    QFont font() const { return m_font; }
    void setFont(const QFont& font);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);

    void paint(QPainter* painter) override;
    // The word, for assistive technology (the user must be able to read it out): a copy that
    // leaves this program's reach, so never logged.
    QString wordCopy() const;

signals:
    void sourceChanged();
    void indexChanged();
    void fontChanged();
    void colorChanged();

private slots:
    // Sets the implicit size from the word's width and the font's height, then repaints.
    void refresh();

private:
    QPointer<QObject> m_source;
    SecretWordSource* m_words = nullptr; // m_source as a word source
    int m_index = -1;
    QFont m_font;
    QColor m_color = Qt::white;
};

} // namespace qm
