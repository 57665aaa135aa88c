#include "ui/settings/FileDialogTheme.h"

#include <QColor>
#include <QQuickItem>
#include <QQuickWindow>
#include <QVariant>

namespace qm {
namespace {

// The shown part of a Qt Quick file dialog is a popup whose item sits in the window's overlay;
// the dialog itself does not own it as a child, so it is found through the window.
QQuickItem* findShownPart(QQuickItem* item, const QString& title) {
    QObject* owner = item->parent();
    if (owner && owner->inherits("QQuickFileDialogImpl") &&
        owner->property("title").toString() == title) {
        return item;
    }
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findShownPart(child, title)) {
            return found;
        }
    }
    return nullptr;
}

// Every control in it, not just the popup: Qt 6.4 does not pass a changed palette on to the
// controls already built inside.
void colour(QQuickItem* item, const QVariantMap& colours) {
    if (auto* palette = item->property("palette").value<QObject*>()) {
        for (auto it = colours.constBegin(); it != colours.constEnd(); ++it) {
            palette->setProperty(it.key().toUtf8().constData(), it.value().value<QColor>());
        }
    }
    // The location bar's frame is a plain rectangle that reads no palette.
    if (item->inherits("QQuickFolderBreadcrumbBar") && colours.contains(QStringLiteral("base"))) {
        if (auto* frame = item->property("background").value<QQuickItem*>()) {
            frame->setProperty("color", colours.value(QStringLiteral("base")).value<QColor>());
        }
    }
    for (QQuickItem* child : item->childItems()) {
        colour(child, colours);
    }
}

} // namespace

FileDialogTheme* FileDialogTheme::create(QQmlEngine*, QJSEngine*) {
    return new FileDialogTheme();
}

bool FileDialogTheme::apply(QObject* dialog, const QVariantMap& colours) const {
    if (!dialog || !dialog->property("visible").toBool()) {
        return false;
    }
    auto* window = qobject_cast<QQuickWindow*>(dialog->property("parentWindow").value<QWindow*>());
    QQuickItem* root = window ? window->contentItem() : nullptr;
    while (root && root->parentItem()) {
        root = root->parentItem();
    }
    QQuickItem* shown = root ? findShownPart(root, dialog->property("title").toString()) : nullptr;
    if (!shown) {
        return false;
    }
    colour(shown, colours);
    return true;
}

} // namespace qm
