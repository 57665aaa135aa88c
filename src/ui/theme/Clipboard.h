#pragma once
// The system clipboard for QML: a copy replaces whatever it held with plain text.

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace qm {

class Clipboard : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    static Clipboard* create(QQmlEngine* engine, QJSEngine* script);

    // Clears the clipboard (every type it held), then puts `text` there as plain text.
    Q_INVOKABLE void setText(const QString& text) const;
    Q_INVOKABLE QString text() const;
};

} // namespace qm
