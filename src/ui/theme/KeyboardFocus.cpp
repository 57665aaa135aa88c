#include "ui/theme/KeyboardFocus.h"

#include <QCoreApplication>
#include <QEvent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

namespace qm {
namespace {

// A Qt Quick control (a button, a field, a tab): what FocusRing outlines.
bool isControl(const QQuickItem* item) {
    return item->metaObject()->indexOfProperty("focusReason") >= 0;
}

} // namespace

KeyboardFocus& KeyboardFocus::shared() {
    // Never released: views may read it until the very end of the process.
    static KeyboardFocus* instance = new KeyboardFocus;
    return *instance;
}

KeyboardFocus::KeyboardFocus() {
    QCoreApplication::instance()->installEventFilter(this);
}

KeyboardFocus* KeyboardFocus::create(QQmlEngine*, QJSEngine*) {
    KeyboardFocus* focus = &shared();
    QQmlEngine::setObjectOwnership(focus, QQmlEngine::CppOwnership);
    return focus;
}

void KeyboardFocus::draw(QQuickItem* control) const {
    if (!control) {
        return;
    }
    if (control->hasActiveFocus()) {
        // Already focused (a field the sheet focused, a button Qt gave the focus back to): no
        // focus change follows to tell the control how it was reached.
        control->setProperty("focusReason", Qt::TabFocusReason);
    } else {
        control->forceActiveFocus(Qt::TabFocusReason);
    }
}

void KeyboardFocus::giveBack(QQuickItem* item) const {
    if (!item) {
        return;
    }
    if (isControl(item)) {
        draw(item);
    } else {
        item->forceActiveFocus();
    }
}

void KeyboardFocus::takeFocus(QQuickItem* scope) const {
    if (!scope) {
        return;
    }
    // From the outside in, each nested scope's remembered item read before its focus goes.
    for (QQuickItem* inner = scope->scopedFocusItem(); inner;) {
        QQuickItem* next = inner->isFocusScope() ? inner->scopedFocusItem() : nullptr;
        inner->setFocus(false);
        inner = next;
    }
    scope->forceActiveFocus();
}

bool KeyboardFocus::focusFirstControl(QQuickItem* scope) const {
    if (!scope) {
        return false;
    }
    QQuickItem* first = scope->nextItemInFocusChain(true);
    if (!first || first == scope || !scope->isAncestorOf(first)) {
        return false;
    }
    draw(first);
    return true;
}

bool KeyboardFocus::enter(QQuickItem* scope) const {
    QQuickItem* held = scope && scope->window() ? scope->window()->activeFocusItem() : nullptr;
    if (!held || (held != scope && !scope->isAncestorOf(held))) {
        return false;
    }
    if (held != scope && isControl(held)) {
        draw(held);
        return true;
    }
    return focusFirstControl(scope);
}

bool KeyboardFocus::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    // Sent before a key press that a shortcut may take instead.
    case QEvent::ShortcutOverride:
        setInUse(true);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
        setInUse(false);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void KeyboardFocus::setInUse(bool inUse) {
    if (inUse != m_inUse) {
        m_inUse = inUse;
        emit inUseChanged();
    }
}

} // namespace qm
