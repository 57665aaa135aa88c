#pragma once
// Where the keyboard is, for screens and sheets that open and close: whether the user is at
// the keys (the last press was of a key, a shortcut's included, rather than of a mouse button
// or a finger), and the focus given as Tab gives it, so that FocusRing draws it. A screen or
// sheet opened from the keys starts with its first control focused, and one closed from the
// keys hands the focus back to the control that opened it, both drawn; with the pointer the
// ring stays undrawn, as after a click.

#include <QObject>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;
class QQuickItem;

namespace qm {

class KeyboardFocus : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool inUse READ inUse NOTIFY inUseChanged)

public:
    // The process-wide one, watching the application's input from its first use on (made
    // before the first window, so that it has seen every press).
    static KeyboardFocus& shared();
    // QML's singleton factory: always the shared instance, owned by C++.
    static KeyboardFocus* create(QQmlEngine* engine, QJSEngine* script);

    // Whether the last press was of a key.
    bool inUse() const { return m_inUse; }

    // `control` takes the focus as Tab gives it, or, holding it already, is marked as holding
    // it so: its ring shows.
    void draw(QQuickItem* control) const;
    // The first control Tab reaches inside `scope` takes the focus as Tab gives it; false
    // when `scope` has none.
    Q_INVOKABLE bool focusFirstControl(QQuickItem* scope) const;
    // `scope` (a focus scope) takes the focus itself, forgetting the item inside it that held
    // the focus last, and what that one's own scopes remember: a screen shown in place of
    // another (or the same screen for another account) leaves no control of the one before
    // focused, unseen and out of view, for the next Tab to go on from.
    Q_INVOKABLE void takeFocus(QQuickItem* scope) const;
    // `item` takes back the focus it held before a popup: a control as Tab gives it (its ring
    // drawn), anything else (a screen's column, which passes it on) as it is given in code.
    void giveBack(QQuickItem* item) const;
    // `scope` (a sheet) just opened from the keys: the control inside it that took the focus
    // (a field the sheet focuses) keeps it, ring drawn; with the focus on `scope` itself, its
    // first control takes it. False, changing nothing, while the focus is outside `scope`.
    bool enter(QQuickItem* scope) const;

signals:
    void inUseChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyboardFocus();
    void setInUse(bool inUse);

    bool m_inUse = false;
};

} // namespace qm
