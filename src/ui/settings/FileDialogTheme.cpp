#include "ui/settings/FileDialogTheme.h"

#include <QColor>
#include <QVariant>

namespace qm {

FileDialogTheme* FileDialogTheme::create(QQmlEngine*, QJSEngine*) {
    return new FileDialogTheme();
}

bool FileDialogTheme::apply(QObject* dialog, const QVariantMap& colours) const {
    if (!dialog || !dialog->property("visible").toBool()) {
        return false;
    }
    // The shown part is a popup the dialog owns (through its platform helper); its palette is
    // the one every control inside it reads.
    bool shown = false;
    for (QObject* child : dialog->findChildren<QObject*>()) {
        if (!child->inherits("QQuickPopup")) {
            continue;
        }
        shown = true;
        auto* palette = child->property("palette").value<QObject*>();
        if (!palette) {
            continue;
        }
        for (auto it = colours.constBegin(); it != colours.constEnd(); ++it) {
            palette->setProperty(it.key().toUtf8().constData(), it.value().value<QColor>());
        }
    }
    return shown;
}

} // namespace qm
