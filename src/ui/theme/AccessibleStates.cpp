#include "ui/theme/AccessibleStates.h"

#include "ui/settings/SecretWordText.h"
#include "ui/theme/AccessibleTexts.h"
#include "ui/theme/ItemSight.h"

#include <QAccessible>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQuick/private/qaccessiblequickitem_p.h>
#include <QtQuick/private/qaccessiblequickview_p.h>
#include <QtQuick/private/qquickaccessibleattached_p.h>
#include <QtQuick/private/qquickitem_p.h>
#include <QtQuick/private/qquicktext_p.h>
#include <QtQuick/private/qquicktextedit_p.h>
#include <QtQuick/private/qquicktextinput_p.h>
#include <QtQuickTemplates2/private/qquickpopup_p.h>
#include <QtQuickTemplates2/private/qquickpopupitem_p_p.h>

namespace qm {
namespace {

// Tells the screen reader that a text's name (what it shows) changed with its text; a field
// being typed into keeps its name.
template <typename TextItem, typename Signal>
void notifyTextChanges(QQuickItem* item, Signal changed) {
    if (auto* text = qobject_cast<TextItem*>(item)) {
        QObject::connect(text, changed, item, [item] {
            if (readableText(item)) {
                QAccessibleEvent event(item, QAccessible::NameChanged);
                QAccessible::updateAccessibility(&event);
            }
        });
    }
}

class AccessibleQuickItem : public QAccessibleQuickItem {
public:
    explicit AccessibleQuickItem(QQuickItem* item) : QAccessibleQuickItem(item) {
        // The interface lives as long as the item; the connections go with the item.
        QObject::connect(item, &QQuickItem::enabledChanged, item, [item] {
            QAccessible::State changed;
            changed.disabled = true;
            changed.focusable = true;
            QAccessibleStateChangeEvent event(item, changed);
            QAccessible::updateAccessibility(&event);
        });
        notifyTextChanges<QQuickText>(item, &QQuickText::textChanged);
        notifyTextChanges<QQuickTextEdit>(item, &QQuickTextEdit::textChanged);
        notifyTextChanges<QQuickTextInput>(item, &QQuickTextInput::textChanged);
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
        // Hidden, or inside what is hidden (an inactive page or step, a row left out): Qt Quick
        // says so only of items that declare accessible properties of their own, never of a
        // text taken into the tree.
        if (!item()->isVisible() || !item()->window() || !item()->window()->isVisible()) {
            state.invisible = true;
            state.focusable = false;
            state.focused = false;
        }
        // Scrolled away, transparent or not drawn by its list: still in reach of the keyboard,
        // which scrolls to it.
        // A text with nothing to show shows nothing.
        if (const std::optional<QString> shown = readableText(item());
            outOfSight(item()) || (shown && shown->trimmed().isEmpty())) {
            state.invisible = true;
            state.offscreen = true;
        }
        return state;
    }

    // A text that declares no role of its own is static text, a read-only field's too.
    QAccessible::Role role() const override {
        const QQuickAccessibleAttached* declared =
            QQuickAccessibleAttached::attachedProperties(item());
        if (readableText(item()) && (!declared || declared->role() == QAccessible::NoRole)) {
            return QAccessible::StaticText;
        }
        return QAccessibleQuickItem::role();
    }

    // A field that masks what is typed gives what it shows (the mask characters), never the
    // typed text: Qt Quick's own answer is the field's text property. Its name Qt Quick reads
    // as empty whatever it was given: the form's field (InputField.qml) keeps it in
    // "accessibleName". Unless named otherwise, a text reads as what it shows and a sheet as
    // its title.
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
        const QString told = QAccessibleQuickItem::text(type);
        if (type != QAccessible::Name || !told.isEmpty()) {
            return told;
        }
        if (const std::optional<QString> shown = readableText(item())) {
            return *shown;
        }
        return popupTitle();
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

    // The texts inside join the tree when a reading of it starts: at its count, or at a point
    // asked for. The children then asked for by index are those counted: adopting again at
    // each of them would walk the same items once for every child.
    int childCount() const override {
        adoptTexts(item(), this);
        return QAccessibleQuickItem::childCount();
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        adoptTexts(item(), this);
        return QAccessibleQuickItem::childAt(x, y);
    }

private:
    const QQuickTextInput* maskingInput() const {
        const auto* input = qobject_cast<const QQuickTextInput*>(item());
        return input && input->echoMode() != QQuickTextInput::Normal ? input : nullptr;
    }

    // A popup's node is its popup item: a dialog is named by its title, a sheet by the
    // heading it shows.
    QString popupTitle() const {
        auto* popupItem = qobject_cast<QQuickPopupItem*>(item());
        const QQuickPopup* popup =
            popupItem
                ? static_cast<QQuickPopupItemPrivate*>(QQuickItemPrivate::get(popupItem))->popup
                : nullptr;
        if (!popup) {
            return {};
        }
        const QString title = popup->property("title").toString();
        return title.isEmpty() ? headingText(popupItem) : title;
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

// The window's node: the texts of its content join the tree when a reading of it starts, as
// an item's do.
class AccessibleQuickWindow : public QAccessibleQuickWindow {
public:
    explicit AccessibleQuickWindow(QQuickWindow* window) : QAccessibleQuickWindow(window) {}

    int childCount() const override {
        adoptContent();
        return QAccessibleQuickWindow::childCount();
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        adoptContent();
        return QAccessibleQuickWindow::childAt(x, y);
    }

private:
    void adoptContent() const {
        adoptTexts(static_cast<QQuickWindow*>(object())->contentItem(), nullptr);
    }
};

// Consulted for each class of an object from the most derived one up, so it answers for a
// Qt Quick item or window before Qt's own factory, which waits for the class names
// "QQuickItem" and "QQuickWindow".
QAccessibleInterface* accessibleFactory(const QString&, QObject* object) {
    if (auto* window = qobject_cast<QQuickWindow*>(object)) {
        return new AccessibleQuickWindow(window);
    }
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
