#include "ui/theme/AccessibleTexts.h"

#include <QAccessible>
#include <QQuickItem>
#include <QtQuick/private/qquickaccessibleattached_p.h>
#include <QtQuick/private/qquickitem_p.h>
#include <QtQuick/private/qquicktext_p.h>
#include <QtQuick/private/qquicktextedit_p.h>
#include <QtQuick/private/qquicktextinput_p.h>

namespace qm {
namespace {

bool markedIgnored(const QQuickItem* item) {
    const QQuickAccessibleAttached* attached = QQuickAccessibleAttached::attachedProperties(item);
    return attached && attached->ignored();
}

// The nodes a screen reader reads as one piece with what they hold, their name saying it.
bool readsItsContent(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Button:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::CheckBox:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::Link:
    case QAccessible::ListItem:
    case QAccessible::MenuItem:
    case QAccessible::PageTab:
    case QAccessible::RadioButton:
    case QAccessible::SpinBox:
    case QAccessible::ToolTip:
        return true;
    default:
        return false;
    }
}

// `says`: what the holder says of what is inside it, its name and description.
bool isSaid(const QString& says, const QString& text) {
    const QString shown = text.simplified();
    return !shown.isEmpty() && says.contains(shown, Qt::CaseInsensitive);
}

void adopt(QQuickItem* item, const QString& says) {
    for (QQuickItem* child : item->childItems()) {
        QQuickItemPrivate* inside = QQuickItemPrivate::get(child);
        if (inside->isAccessible || markedIgnored(child)) {
            continue;
        }
        if (const std::optional<QString> text = readableText(child); text && !isSaid(says, *text)) {
            inside->setAccessible();
            continue;
        }
        adopt(child, says);
    }
}

const QQuickItem* firstHeading(const QQuickItem* within, bool shownOnly) {
    for (const QQuickItem* child : within->childItems()) {
        if (shownOnly && !child->isVisible()) {
            continue;
        }
        const QQuickAccessibleAttached* attached =
            QQuickAccessibleAttached::attachedProperties(child);
        if (attached && attached->role() == QAccessible::Heading) {
            return child;
        }
        if (const QQuickItem* inside = firstHeading(child, shownOnly)) {
            return inside;
        }
    }
    return nullptr;
}

} // namespace

void adoptTexts(QQuickItem* holder, const QAccessibleInterface* holderNode) {
    if (!holder) {
        return;
    }
    QString says;
    if (holderNode) {
        const QAccessible::Role role = holderNode->role();
        // One text made of parts: none inside is a text of its own.
        if (role == QAccessible::StaticText) {
            return;
        }
        if (readsItsContent(role)) {
            says = (holderNode->text(QAccessible::Name) + ' ' +
                    holderNode->text(QAccessible::Description))
                       .simplified();
        }
    }
    adopt(holder, says);
}

std::optional<QString> readableText(const QQuickItem* item) {
    if (const auto* text = qobject_cast<const QQuickText*>(item)) {
        return text->text();
    }
    if (const auto* edit = qobject_cast<const QQuickTextEdit*>(item); edit && edit->isReadOnly()) {
        return edit->text();
    }
    if (const auto* input = qobject_cast<const QQuickTextInput*>(item);
        input && input->isReadOnly() && input->echoMode() == QQuickTextInput::Normal) {
        return input->text();
    }
    return std::nullopt;
}

QString headingText(const QQuickItem* within) {
    const QQuickItem* heading = firstHeading(within, true);
    if (!heading) {
        heading = firstHeading(within, false);
    }
    return heading ? readableText(heading).value_or(QString()) : QString();
}

} // namespace qm
