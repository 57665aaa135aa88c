#include "ui/onboarding/PhraseWordText.h"

#include "ui/onboarding/SecretText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace qm {

PhraseWordText::PhraseWordText(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
}

void PhraseWordText::setSource(OnboardingViewModel* source) {
    if (m_source == source) {
        return;
    }
    if (m_source) {
        disconnect(m_source, nullptr, this, nullptr);
    }
    m_source = source;
    if (m_source) {
        connect(m_source, &OnboardingViewModel::mnemonicChanged, this, &PhraseWordText::refresh);
    }
    emit sourceChanged();
    refresh();
}

void PhraseWordText::setIndex(int index) {
    if (m_index == index) {
        return;
    }
    m_index = index;
    emit indexChanged();
    refresh();
}

void PhraseWordText::setFont(const QFont& font) {
    if (m_font == font) {
        return;
    }
    m_font = font;
    emit fontChanged();
    refresh();
}

void PhraseWordText::setColor(const QColor& color) {
    if (m_color == color) {
        return;
    }
    m_color = color;
    emit colorChanged();
    update();
}

QString PhraseWordText::word() const {
    if (!m_source || m_index < 0 || m_index >= m_source->mnemonicLength()) {
        return {};
    }
    // A deep copy, so wiping it leaves the model's word alone.
    const QString& stored = m_source->mnemonic()[static_cast<std::size_t>(m_index)];
    return QString(stored.constData(), stored.size());
}

void PhraseWordText::refresh() {
    QString text = word();
    const QFontMetricsF metrics(m_font);
    setImplicitWidth(std::ceil(metrics.horizontalAdvance(text)));
    setImplicitHeight(std::ceil(metrics.height()));
    wipeText(text);
    update();
}

void PhraseWordText::paint(QPainter* painter) {
    QString text = word();
    if (!text.isEmpty()) {
        painter->setFont(m_font);
        painter->setPen(m_color);
        painter->drawText(QRectF(0, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    wipeText(text);
}

} // namespace qm
