#pragma once
// How an address is shortened for display. Lengths count user-perceived characters
// (grapheme clusters), not bytes; the full address is always what gets copied.

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace qm {

// The address label's form: with `truncate` and more than 16 characters, the first 8, "..."
// and the last 6; otherwise the whole address.
QString addressLabelText(const QString& address, bool truncate);
// The sidebar's form: 13 characters or more become the first 6, "..." and the last 4; a
// shorter address stays whole.
QString sidebarAddressText(const QString& address);
// A history row's form: 15 characters or more become the first 6, "..." and the last 4.
QString counterpartyAddressText(const QString& address);
// The token picker's form: 17 characters or more become the first 6, "..." and the last 4.
QString pickerAddressText(const QString& address);

// The two forms for QML.
class AddressText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    static AddressText* create(QQmlEngine* engine, QJSEngine* script);
    Q_INVOKABLE QString label(const QString& address, bool truncate) const {
        return addressLabelText(address, truncate);
    }
    Q_INVOKABLE QString sidebar(const QString& address) const {
        return sidebarAddressText(address);
    }
};

} // namespace qm
