#include "app/CursorBlinkRest.h"

#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>

namespace qm {

CursorBlinkRest::CursorBlinkRest(int blinkMs, QObject* parent)
    : QObject(parent), m_flashTime(QGuiApplication::styleHints()->cursorFlashTime()) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(blinkMs);
    connect(&m_timer, &QTimer::timeout, this, &CursorBlinkRest::rest);
    QGuiApplication::instance()->installEventFilter(this);
    m_timer.start();
}

bool CursorBlinkRest::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::FocusIn:
        if (QGuiApplication::styleHints()->cursorFlashTime() != m_flashTime) {
            QGuiApplication::styleHints()->setCursorFlashTime(m_flashTime);
        }
        m_timer.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CursorBlinkRest::rest() {
    // A flash time of 0 shows the cursor steadily.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
}

} // namespace qm
