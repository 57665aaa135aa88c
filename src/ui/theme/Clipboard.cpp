#include "ui/theme/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace qm {

Clipboard* Clipboard::create(QQmlEngine*, QJSEngine*) {
    return new Clipboard;
}

void Clipboard::setText(const QString& text) const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

QString Clipboard::text() const {
    return QGuiApplication::clipboard()->text();
}

} // namespace qm
