#include "ui/theme/AccessibleStates.h"

#include "ui/settings/SecretWordText.h"

#include <QAccessible>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQuick/private/qaccessiblequickitem_p.h>
#include <QtQuick/private/qquickitem_p.h>
#include <QtQuick/private/qquicktextinput_p.h>
#include <QtQuickTemplates2/private/qquickoverlay_p.h>
#include <QtQuickTemplates2/private/qquickpopup_p.h>
#include <QtQuickTemplates2/private/qquickpopupitem_p_p.h>

namespace qm {
namespace {

// Whether an open modal popup of the item's window covers it: the item is in none of the popups
// from the topmost modal one up. The overlay is looked up where Qt keeps it, so that asking
// never makes one for a window that has none.
bool coveredByModalPopup(const QQuickItem* item) {
    QQuickWindow* window = item->window();
    auto* overlay = window ? window->property("_q_QQuickOverlay").value<QQuickOverlay*>() : nullptr;
    if (!overlay || !overlay->isVisible()) {
        return false;
    }
    const QList<QQuickItem*> stacked = QQuickItemPrivate::get(overlay)->paintOrderChildItems();
    for (auto it = stacked.crbegin(); it != stacked.crend(); ++it) {
        auto* popupItem = qobject_cast<QQuickPopupItem*>(*it);
        if (!popupItem || !popupItem->isVisible()) {
            continue;
        }
        if (popupItem == item || popupItem->isAncestorOf(item)) {
            return false;
        }
        const QQuickPopup* popup =
            static_cast<QQuickPopupItemPrivate*>(QQuickItemPrivate::get(popupItem))->popup;
        if (popup && popup->isModal()) {
            return true;
        }
    }
    return false;
}

class AccessibleQuickItem : public QAccessibleQuickItem {
public:
    explicit AccessibleQuickItem(QQuickItem* item) : QAccessibleQuickItem(item) {
        // The interface lives as long as the item; the connection goes with the item.
        QObject::connect(item, &QQuickItem::enabledChanged, item, [item] {
            QAccessible::State changed;
            changed.disabled = true;
            changed.focusable = true;
            QAccessibleStateChangeEvent event(item, changed);
            QAccessible::updateAccessibility(&event);
        });
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleQuickItem::state();
        if (!item()->isEnabled()) {
            state.disabled = true;
            state.focusable = false;
        }
        // Out of reach behind a sheet, as it is for the mouse and the keyboard.
        if (coveredByModalPopup(item())) {
            state.invisible = true;
            state.disabled = true;
            state.focusable = false;
            state.focused = false;
        }
        return state;
    }

    // A field that masks what is typed gives what it shows (the mask characters), never the
    // typed text: Qt Quick's own answer is the field's text property. Its name Qt Quick reads
    // as empty whatever it was given: the form's field (InputField.qml) keeps it in
    // "accessibleName".
    QString text(QAccessible::Text type) const override {
        if (const auto* input = maskingInput()) {
            if (type == QAccessible::Value) {
                return input->displayText();
            }
            if (const QVariant name = input->property("accessibleName");
                type == QAccessible::Name && name.isValid()) {
                return name.toString();
            }
        }
        return QAccessibleQuickItem::text(type);
    }
    QString text(int startOffset, int endOffset) const override {
        if (const auto* input = maskingInput()) {
            return input->displayText().mid(startOffset, endOffset - startOffset);
        }
        return QAccessibleQuickItem::text(startOffset, endOffset);
    }
    // Qt's answers by word, line and character go through the two below.
    int characterCount() const override {
        if (const auto* input = maskingInput()) {
            return static_cast<int>(input->displayText().size());
        }
        return QAccessibleQuickItem::characterCount();
    }

private:
    const QQuickTextInput* maskingInput() const {
        const auto* input = qobject_cast<const QQuickTextInput*>(item());
        return input && input->echoMode() != QQuickTextInput::Normal ? input : nullptr;
    }
};

// A recovery-phrase word reads as that word: the user must be able to read the phrase to
// write it down. The copy handed on cannot be wiped; it is never logged.
class AccessibleSecretWord : public AccessibleQuickItem {
public:
    explicit AccessibleSecretWord(SecretWordText* word) : AccessibleQuickItem(word) {}

    using AccessibleQuickItem::text;

    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Name) {
            return static_cast<const SecretWordText*>(item())->wordCopy();
        }
        return AccessibleQuickItem::text(type);
    }
};

// Consulted for each class of an object from the most derived one up, so it answers for a
// Qt Quick item before Qt's own factory, which waits for the class name "QQuickItem".
QAccessibleInterface* accessibleFactory(const QString&, QObject* object) {
    auto* item = qobject_cast<QQuickItem*>(object);
    if (!item || !QQuickItemPrivate::get(item)->isAccessible) {
        return nullptr;
    }
    if (auto* word = qobject_cast<SecretWordText*>(item)) {
        return new AccessibleSecretWord(word);
    }
    return new AccessibleQuickItem(item);
}

} // namespace

void installAccessibleStates() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(accessibleFactory);
    }
}

} // namespace qm
