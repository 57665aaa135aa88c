#include "ui/settings/SecretWordText.h"

#include "ui/onboarding/SecretText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtQuick/private/qquickitem_p.h>
#include <cmath>

namespace qm {

SecretWordText::SecretWordText(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
    // In the accessibility tree, read as its word (see AccessibleStates).
    QQuickItemPrivate::get(this)->setAccessible();
}

QString SecretWordText::wordCopy() const {
    return m_source && m_words ? m_words->wordText(m_index) : QString();
}

void SecretWordText::setSource(QObject* source) {
    if (m_source == source) {
        return;
    }
    if (m_source) {
        disconnect(m_source, nullptr, this, nullptr);
    }
    m_source = source;
    m_words = dynamic_cast<SecretWordSource*>(source);
    if (m_words) {
        connect(m_source, m_words->wordsChangedSignal(), this, SLOT(refresh()));
    }
    emit sourceChanged();
    refresh();
}

void SecretWordText::setIndex(int index) {
    if (m_index == index) {
        return;
    }
    m_index = index;
    emit indexChanged();
    refresh();
}

void SecretWordText::setFont(const QFont& font) {
    if (m_font == font) {
        return;
    }
    m_font = font;
    emit fontChanged();
    refresh();
}

void SecretWordText::setColor(const QColor& color) {
    if (m_color == color) {
        return;
    }
    m_color = color;
    emit colorChanged();
    update();
}

void SecretWordText::refresh() {
    QString word = m_source && m_words ? m_words->wordText(m_index) : QString();
    const QFontMetricsF metrics(m_font);
    setImplicitWidth(std::ceil(metrics.horizontalAdvance(word)));
    setImplicitHeight(std::ceil(metrics.height()));
    wipeText(word);
    update();
}

void SecretWordText::paint(QPainter* painter) {
    QString word = m_source && m_words ? m_words->wordText(m_index) : QString();
    if (!word.isEmpty()) {
        painter->setFont(m_font);
        painter->setPen(m_color);
        painter->drawText(QRectF(0, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, word);
    }
    wipeText(word);
}

} // namespace qm
