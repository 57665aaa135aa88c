#pragma once
// Colours for Qt Quick's own file dialog, which otherwise draws in the default light palette
// whatever the window looks like. The dialog builds its shown part when it opens, so the
// colours go on after `open()`.

#include <QObject>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace qm {

class FileDialogTheme : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    static FileDialogTheme* create(QQmlEngine* engine, QJSEngine* script);

    // Sets each palette role named in `colours` ("window", "base", "text", ...) on the open
    // dialog's shown part. False when there is none to colour.
    Q_INVOKABLE bool apply(QObject* dialog, const QVariantMap& colours) const;
};

} // namespace qm
