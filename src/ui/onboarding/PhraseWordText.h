#pragma once
// One word of the phrase made for a new wallet, drawn straight from the flow model's memory:
// the word never becomes a QML string (which the JavaScript heap could keep after the screen
// has gone); each paint makes a short-lived copy and wipes it.

#include "ui/onboarding/OnboardingViewModel.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace qm {

class PhraseWordText : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qm::OnboardingViewModel* source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(int index READ index WRITE setIndex NOTIFY indexChanged)
    Q_PROPERTY(QFont font READ font WRITE setFont NOTIFY fontChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit PhraseWordText(QQuickItem* parent = nullptr);

    OnboardingViewModel* source() const { return m_source; }
    void setSource(OnboardingViewModel* source);
    int index() const { return m_index; }
    void setIndex(int index);
    QFont font() const { return m_font; }
    void setFont(const QFont& font);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);

    void paint(QPainter* painter) override;

signals:
    void sourceChanged();
    void indexChanged();
    void fontChanged();
    void colorChanged();

private:
    // A copy of the word (empty when there is none); the caller wipes it.
    QString word() const;
    // Sets the implicit size from the word's width and the font's height, then repaints.
    void refresh();

    QPointer<OnboardingViewModel> m_source;
    int m_index = -1;
    QFont m_font;
    QColor m_color = Qt::white;
};

} // namespace qm
