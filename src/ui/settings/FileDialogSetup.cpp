#include "ui/settings/FileDialogSetup.h"

#include "ui/settings/FileDialogChoice.h"

#include <QColor>
#include <QMetaObject>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickWindow>
#include <QUrl>
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

// Always on while the bar's handle is shorter than its track, else as the style has it.
void followSize(QQuickItem* bar) {
    constexpr int asNeeded = 0;
    constexpr int alwaysOn = 2;
    bar->setProperty("policy", bar->property("size").toReal() < 1.0 ? alwaysOn : asNeeded);
}

// Every text under `item` plain: the folder path's buttons are Qt's own, made anew for each
// folder, and would take markup in a folder's name for rich text.
void makeTextsPlain(QQuickItem* item) {
    if (item->inherits("QQuickText")) {
        item->setProperty("textFormat", static_cast<int>(Qt::PlainText));
    }
    for (QQuickItem* child : item->childItems()) {
        makeTextsPlain(child);
    }
}

QQuickItem* findByType(QQuickItem* item, const char* type) {
    if (item->inherits(type)) {
        return item;
    }
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findByType(child, type)) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

FileDialogSetup* FileDialogSetup::create(QQmlEngine*, QJSEngine*) {
    return new FileDialogSetup();
}

void FileDialogSetup::showScrollBarWhileOverflowing() {
    if (auto* bar = qobject_cast<QQuickItem*>(sender())) {
        followSize(bar);
    }
}

void FileDialogSetup::setUpList(QObject* impl, QQmlComponent* files) {
    auto* list = impl->findChild<QQuickItem*>(QStringLiteral("fileDialogListView"));
    if (!list) {
        return;
    }
    if (files) {
        list->setProperty("delegate", QVariant::fromValue(files));
    }
    // A folder's list starts at its top, whatever was scrolled before.
    connect(list, SIGNAL(countChanged()), list, SLOT(positionViewAtBeginning()));
    // The bar stays on screen while the list overflows: the cue that there is more.
    if (QQuickItem* bar = findByType(list, "QQuickScrollBar")) {
        connect(bar, SIGNAL(sizeChanged()), this, SLOT(showScrollBarWhileOverflowing()));
        followSize(bar);
    }
}

void FileDialogSetup::makeFolderPathPlain() {
    QObject* impl = sender();
    if (auto* bar =
            impl ? qobject_cast<QQuickItem*>(impl->property("qmFolderPath").value<QObject*>())
                 : nullptr) {
        makeTextsPlain(bar);
    }
}

void FileDialogSetup::addNotice(QObject* impl, QQmlComponent* notice) {
    auto* footer = impl->property("footer").value<QQuickItem*>();
    QQuickItem* grid = footer ? findByType(footer, "QQuickGridLayout") : nullptr;
    if (!grid || !notice) {
        return;
    }
    auto* item = qobject_cast<QQuickItem*>(notice->create(notice->creationContext()));
    if (!item) {
        return;
    }
    item->setParent(grid);
    item->setParentItem(grid);
    // A row of its own under the name and the buttons, as wide as the footer's rows.
    const QList<std::pair<const char*, QVariant>> layout = {
        {"Layout.row", 2},          {"Layout.column", 0},      {"Layout.columnSpan", 3},
        {"Layout.fillWidth", true}, {"Layout.leftMargin", 20}, {"Layout.rightMargin", 20}};
    for (const auto& [name, value] : layout) {
        QQmlProperty(item, QString::fromLatin1(name), qmlContext(item)).write(value);
    }
}

void FileDialogSetup::pick(QObject* shown, const QUrl& file) {
    if (auto* choice = shown ? shown->findChild<FileDialogChoice*>() : nullptr) {
        choice->pick(file);
    }
}

QObject* FileDialogSetup::apply(QObject* dialog, const QVariantMap& colours, QQmlComponent* files,
                                QQmlComponent* notice, qreal width, qreal height) {
    if (!dialog || !dialog->property("visible").toBool()) {
        return nullptr;
    }
    auto* window = qobject_cast<QQuickWindow*>(dialog->property("parentWindow").value<QWindow*>());
    QQuickItem* root = window ? window->contentItem() : nullptr;
    while (root && root->parentItem()) {
        root = root->parentItem();
    }
    QQuickItem* shown = root ? findShownPart(root, dialog->property("title").toString()) : nullptr;
    if (!shown) {
        return nullptr;
    }
    QObject* impl = shown->parent();
    colour(shown, colours);
    impl->setProperty("width", width);
    impl->setProperty("height", height);
    if (!impl->property("qmSetUp").toBool()) {
        impl->setProperty("qmSetUp", true);
        setUpList(impl, files);
        // The name field spans the row, under the buttons too: a suggested name fits whole.
        if (auto* name = impl->findChild<QQuickItem*>(QStringLiteral("fileNameTextField"))) {
            QQmlProperty(name, QStringLiteral("Layout.columnSpan"), qmlContext(name)).write(2);
            QQmlProperty(name, QStringLiteral("Layout.rightMargin"), qmlContext(name)).write(20);
        }
        if (QQuickItem* bar = findByType(shown, "QQuickFolderBreadcrumbBar")) {
            // After the bar has made its buttons for the new folder (it was told first).
            connectSignalNamed(impl, "currentFolderChanged", this, "makeFolderPathPlain()");
            impl->setProperty("qmFolderPath", QVariant::fromValue<QObject*>(bar));
            makeTextsPlain(bar);
            // Qt's "up" button shows an arrow and has no name for assistive technology.
            if (auto* up = bar->property("upButton").value<QQuickItem*>()) {
                QQmlProperty(up, QStringLiteral("Accessible.name"), qmlContext(up))
                    .write(QStringLiteral("Parent Folder"));
            }
        }
        addNotice(impl, notice);
        new FileDialogChoice(dialog, impl, findByType(shown, "QQuickFolderBreadcrumbBar"));
    }
    if (auto* choice = impl->findChild<FileDialogChoice*>()) {
        choice->begin();
    }
    return impl;
}

} // namespace qm
