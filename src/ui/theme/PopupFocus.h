#pragma once
// Where the keyboard is across a popup (a sheet, an alert), declared in it as
// `PopupFocus { popup: root }`. Opened from the keys (KeyboardFocus.inUse), the popup starts
// with the focus, ring drawn, on its first control, or on the field it focuses itself; closed
// from the keys, it hands the focus back to what held it when it opened: a control, ring
// drawn, or a screen's column, which gives it to its first control. With the pointer the focus
// goes where Qt Quick puts it, undrawn, as after a click.

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

class QQuickItem;
class QQuickPopup;

namespace qm {

class PopupFocus : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The popup followed; set once, where it is declared.
    Q_PROPERTY(QObject* popup READ popup WRITE setPopup NOTIFY popupChanged)

public:
    using QObject::QObject;

    QObject* popup() const;
    void setPopup(QObject* popup);

signals:
    void popupChanged();

private:
    void aboutToShow();
    void opened();
    void enter();
    void closed();

    QPointer<QQuickPopup> m_popup;
    // What held the focus when the popup opened.
    QPointer<QQuickItem> m_opener;
    bool m_openedFromKeys = false;
};

} // namespace qm
