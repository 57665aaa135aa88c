#pragma once
// The password step shared by every screen that asks for the wallet password (unlock, backup
// export and restore, the phrase reveal, signing a send): the typed text, the busy flag of the
// step that uses it and its error line ("Incorrect password" for a wrong one).
//
// The text lives here as UTF-8 in wiping storage, read from the field by C++ at each edit, never
// through QML's own strings (those stay in the script heap until collected, unwiped). wipe()
// clears it and overwrites the field's own buffer in place before emptying the field; the QML
// side, PasswordField.qml, also wipes its field when it is destroyed. So no copy outlives the
// screen, or the use, that took it.

#include "platform/SecureBytes.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

class PasswordEntry : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The text field (a TextInput) whose text this holds; set by PasswordField.qml.
    Q_PROPERTY(QObject* field READ field WRITE setField NOTIFY fieldChanged)
    Q_PROPERTY(bool hasPassword READ hasPassword NOTIFY passwordChanged)
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY busyChanged)
    Q_PROPERTY(QString errorMessage READ errorText NOTIFY errorMessageChanged)
    Q_PROPERTY(bool hasError READ hasError NOTIFY errorMessageChanged)

public:
    explicit PasswordEntry(QObject* parent = nullptr);
    ~PasswordEntry() override;

    QObject* field() const { return m_field; }
    void setField(QObject* field);

    // Takes `text` as the typed password (the previous one wiped); the caller's copy is its own.
    void setText(const QString& text);
    bool hasPassword() const { return !m_utf8.empty(); }
    // The typed password's UTF-8 bytes, valid until the next edit or wipe.
    std::string_view utf8() const;
    // A copy of them; the caller wipes it.
    std::string utf8Copy() const { return std::string(utf8()); }

    bool isBusy() const { return m_busy; }
    void setBusy(bool busy);
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    QString errorText() const { return m_errorMessage.value_or(QString()); }
    bool hasError() const { return m_errorMessage.has_value(); }
    void setErrorMessage(std::optional<QString> message);
    // Busy on and the error line cleared: the start of every attempt.
    void beginAttempt();

    // Empties the password here and in the field, the field's buffer overwritten first.
    Q_INVOKABLE void wipe();
    // Overwrites the text buffer of `field` (a TextInput) in place and empties the field.
    static void wipeField(QObject* field);

signals:
    void fieldChanged();
    // Notifies when the password turns empty or non-empty.
    void passwordChanged();
    // Notifies at every change of the password: an edit, a wipe.
    void textChanged();
    void busyChanged();
    void errorMessageChanged();

private slots:
    void readField();

private:
    void store(const QString& text);

    QPointer<QObject> m_field;
    QMetaObject::Connection m_edits;
    SecureBytes m_utf8;
    bool m_busy = false;
    std::optional<QString> m_errorMessage;
};

} // namespace qm
