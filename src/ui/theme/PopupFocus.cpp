#include "ui/theme/PopupFocus.h"

#include "ui/theme/KeyboardFocus.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QtQuickTemplates2/private/qquickpopup_p.h>

namespace qm {

QObject* PopupFocus::popup() const {
    return m_popup;
}

void PopupFocus::setPopup(QObject* popup) {
    auto* followed = qobject_cast<QQuickPopup*>(popup);
    if (followed == m_popup) {
        return;
    }
    if (m_popup) {
        disconnect(m_popup, nullptr, this, nullptr);
    }
    m_popup = followed;
    if (followed) {
        connect(followed, &QQuickPopup::aboutToShow, this, &PopupFocus::aboutToShow);
        connect(followed, &QQuickPopup::opened, this, &PopupFocus::opened);
        connect(followed, &QQuickPopup::closed, this, &PopupFocus::closed);
    }
    emit popupChanged();
}

void PopupFocus::aboutToShow() {
    // The popup takes the focus only after this: it is still the opener's.
    QQuickWindow* window = m_popup->window();
    m_opener = window ? window->activeFocusItem() : nullptr;
    m_openedFromKeys = KeyboardFocus::shared().inUse();
}

void PopupFocus::opened() {
    if (m_openedFromKeys) {
        // After the popup's own handlers, which may focus one of its fields.
        QMetaObject::invokeMethod(this, &PopupFocus::enter, Qt::QueuedConnection);
    }
}

void PopupFocus::enter() {
    // Not once the pointer has been pressed meanwhile: where it went, the focus stays.
    if (m_popup && m_popup->isOpened() && KeyboardFocus::shared().inUse()) {
        KeyboardFocus::shared().enter(m_popup->popupItem());
    }
}

void PopupFocus::closed() {
    QQuickItem* back = m_opener;
    m_opener.clear();
    if (!KeyboardFocus::shared().inUse() || !back || !back->isVisible() || !back->isEnabled()) {
        return;
    }
    KeyboardFocus::shared().giveBack(back);
}

} // namespace qm
