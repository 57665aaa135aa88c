#include "TextExposure.h"

#include "ui/theme/AccessibleStates.h"

#include <QAccessible>
#include <QHash>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSet>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>
#include <QtQuick/private/qquickaccessibleattached_p.h>
#include <QtQuick/private/qquickitem_p.h>
#include <QtQuick/private/qquicktext_p.h>
#include <QtQuick/private/qquicktextedit_p.h>
#include <QtQuick/private/qquicktextinput_p.h>
#include <QtQuick/private/qquickwindow_p.h>
#include <QtQuickTemplates2/private/qquickoverlay_p.h>
#include <QtQuickTemplates2/private/qquickpopup_p.h>
#include <QtQuickTemplates2/private/qquickpopupitem_p_p.h>

namespace qm::test {
namespace {

// What a showing node reads out: all of it, and what it says of what lies inside it.
struct Heard {
    QString all;
    QString label;
};
using Reading = QHash<const QObject*, Heard>;

QString normalized(const QString& text) {
    return text.simplified().toCaseFolded();
}

// The tree from `node` down as a screen reader walks it: a node that is not showing is passed
// by with everything inside it.
void walk(QAccessibleInterface* node, Reading& reading, int depth) {
    if (!node || !node->isValid() || depth > 256 || node->state().invisible) {
        return;
    }
    const QObject* object = node->object();
    if (object && reading.contains(object)) {
        return;
    }
    Heard heard;
    heard.label =
        normalized(node->text(QAccessible::Name) + ' ' + node->text(QAccessible::Description));
    QString content = node->text(QAccessible::Value);
    if (QAccessibleTextInterface* text = node->textInterface()) {
        content += ' ' + text->text(0, text->characterCount());
    }
    heard.all = heard.label + ' ' + normalized(content);
    reading.insert(object, heard);
    for (int i = 0, count = node->childCount(); i < count; ++i) {
        walk(node->child(i), reading, depth + 1);
    }
}

bool markedIgnored(const QQuickItem* item) {
    const QQuickAccessibleAttached* attached = QQuickAccessibleAttached::attachedProperties(item);
    return attached && attached->ignored();
}

// What the item shows as text; empty for anything else and for a masked field.
QString shownText(const QQuickItem* item) {
    if (const auto* text = qobject_cast<const QQuickText*>(item)) {
        return text->text();
    }
    if (const auto* edit = qobject_cast<const QQuickTextEdit*>(item)) {
        return edit->text();
    }
    if (const auto* input = qobject_cast<const QQuickTextInput*>(item)) {
        return input->echoMode() == QQuickTextInput::Normal ? input->text() : QString();
    }
    return {};
}

QString describe(const QQuickItem* item, const QString& text) {
    const QString who = item->objectName().isEmpty()
                            ? QString::fromLatin1(item->metaObject()->className())
                            : item->objectName();
    return who + QStringLiteral(": ") + text.simplified();
}

bool isRead(const QQuickItem* item, const QString& wanted, const Reading& reading) {
    if (QQuickItemPrivate::get(item)->isAccessible) {
        const auto found = reading.constFind(item);
        return found != reading.cend() && found->all.contains(wanted);
    }
    for (const QQuickItem* above = item->parentItem(); above; above = above->parentItem()) {
        if (QQuickItemPrivate::get(above)->isAccessible) {
            const auto found = reading.constFind(above);
            return found != reading.cend() && found->label.contains(wanted);
        }
    }
    return false;
}

// Collects in `drawn` the texts on screen, and in `missing` those of them the reading lacks.
void scan(const QQuickItem* item, QRectF clip, const Reading& reading, QStringList& missing,
          QSet<const QObject*>& drawn) {
    // A culled item is not drawn though visible: a list's row that its entry left.
    if (!item->isVisible() || item->opacity() <= 0 || QQuickItemPrivate::get(item)->culled ||
        markedIgnored(item)) {
        return;
    }
    const QRectF box = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    if (const QString text = shownText(item); !normalized(text).isEmpty() && box.intersects(clip)) {
        drawn.insert(item);
        if (!isRead(item, normalized(text), reading)) {
            missing.append(describe(item, text));
        }
    }
    if (item->clip()) {
        clip &= box;
    }
    for (const QQuickItem* child : item->childItems()) {
        scan(child, clip, reading, missing, drawn);
    }
}

// The texts the reading has as showing that are not on screen: hidden, transparent, empty,
// clipped or scrolled away, or under a sheet.
void addUndrawn(const Reading& reading, const QSet<const QObject*>& drawn, QStringList& out) {
    QStringList undrawn;
    for (auto it = reading.cbegin(); it != reading.cend(); ++it) {
        const auto* item = qobject_cast<const QQuickItem*>(it.key());
        if (!item || drawn.contains(item) || !QQuickItemPrivate::get(item)->isAccessible) {
            continue;
        }
        if (const QString text = shownText(item); !normalized(text).isEmpty()) {
            undrawn.append(QStringLiteral("read, not drawn: ") + describe(item, text));
        }
    }
    undrawn.sort();
    out += undrawn;
}

// What is on top: the popups from the topmost open modal one up, or the whole window.
QList<QQuickItem*> uncovered(QQuickWindow* window) {
    QQuickOverlay* overlay = QQuickOverlay::overlay(window);
    const QList<QQuickItem*> stacked =
        overlay ? QQuickItemPrivate::get(overlay)->paintOrderChildItems() : QList<QQuickItem*>();
    for (qsizetype i = stacked.size() - 1; i >= 0; --i) {
        auto* popupItem = qobject_cast<QQuickPopupItem*>(stacked[i]);
        if (!popupItem || !popupItem->isVisible()) {
            continue;
        }
        const QQuickPopup* popup =
            static_cast<QQuickPopupItemPrivate*>(QQuickItemPrivate::get(popupItem))->popup;
        if (popup && popup->isModal()) {
            return stacked.mid(i);
        }
    }
    return {window->contentItem()};
}

} // namespace

QStringList unexposedTexts(QQuickWindow* window) {
    QStringList missing;
    if (!window) {
        return missing;
    }
    // Laid out as the next frame draws it: a sheet just opened may still wait for its layouts.
    QQuickWindowPrivate::get(window)->polishItems();
    Reading reading;
    walk(QAccessible::queryAccessibleInterface(window), reading, 0);
    const QRectF screen(0, 0, window->width(), window->height());
    QSet<const QObject*> drawn;
    for (const QQuickItem* root : uncovered(window)) {
        scan(root, screen, reading, missing, drawn);
    }
    addUndrawn(reading, drawn, missing);
    return missing;
}

QAccessibleInterface* accessibleNode(QObject* object) {
    if (auto* popup = qobject_cast<QQuickPopup*>(object)) {
        object = popup->popupItem();
    }
    return object ? QAccessible::queryAccessibleInterface(object) : nullptr;
}

void readLikeAScreenReader() {
    installAccessibleStates();
    if (QPlatformAccessibility* platform =
            QGuiApplicationPrivate::platformIntegration()->accessibility()) {
        platform->setActive(true);
    }
}

} // namespace qm::test
