#pragma once
// The base of the forms that take one password and run one long step with it (unlock,
// backup export, backup restore, the phrase reveal): the password step (PasswordEntry: the
// typed password, wiped with the form and after use, its error line and busy flag), which the
// form's PasswordField shows.

#include "ui/onboarding/StateBoundModel.h"
#include "ui/theme/PasswordEntry.h"

#include <QString>
#include <optional>
#include <string>

namespace qm {

class PasswordFormModel : public StateBoundModel {
    Q_OBJECT
    Q_PROPERTY(qm::PasswordEntry* entry READ entry CONSTANT)
    Q_PROPERTY(bool hasPassword READ hasPassword NOTIFY passwordChanged)
    Q_PROPERTY(QString errorMessage READ errorText NOTIFY errorMessageChanged)
    Q_PROPERTY(bool hasError READ hasError NOTIFY errorMessageChanged)

public:
    explicit PasswordFormModel(QObject* parent = nullptr);
    ~PasswordFormModel() override;

    PasswordEntry* entry() const { return m_entry; }
    // The typed password, as a field's edit would give it (tests, and forms without a field).
    Q_INVOKABLE void setPassword(const QString& password) { m_entry->setText(password); }
    bool hasPassword() const { return m_entry->hasPassword(); }
    const std::optional<QString>& errorMessage() const { return m_entry->errorMessage(); }
    QString errorText() const { return m_entry->errorText(); }
    bool hasError() const { return m_entry->hasError(); }
    bool isBusy() const { return m_entry->isBusy(); }

signals:
    // Notifies when the field turns empty or non-empty.
    void passwordChanged();
    void errorMessageChanged();
    void busyChanged();
    // A step started by a submit call has ended (either way).
    void finished();

protected:
    // The UTF-8 bytes of the password; the caller wipes them.
    std::string passwordUtf8() const { return m_entry->utf8Copy(); }
    void setErrorMessage(std::optional<QString> message) {
        m_entry->setErrorMessage(std::move(message));
    }
    void setBusy(bool busy) { m_entry->setBusy(busy); }
    // Busy on and the error line cleared: the start of every attempt.
    void beginAttempt() { m_entry->beginAttempt(); }
    // The password is no longer needed (used, or refused): gone here and from the field.
    void wipePassword() { m_entry->wipe(); }

private:
    PasswordEntry* m_entry; // a child
};

} // namespace qm
