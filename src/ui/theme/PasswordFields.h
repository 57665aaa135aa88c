#pragma once
// For QML: wipes a password field's text in place (PasswordEntry::wipeField), so a field that
// goes away leaves no copy of what was typed.

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace qm {

class PasswordFields : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE void wipe(QObject* field) const;
};

} // namespace qm
