#pragma once
// The base of the forms that take one password and run one long step with it (unlock,
// backup export, backup restore): the typed password, kept here and wiped with the form,
// the error line under the field, and the busy flag of the running step.

#include "ui/onboarding/StateBoundModel.h"

#include <QString>
#include <optional>
#include <string>

namespace qm {

class PasswordFormModel : public StateBoundModel {
    Q_OBJECT
    Q_PROPERTY(bool hasPassword READ hasPassword NOTIFY passwordChanged)
    Q_PROPERTY(QString errorMessage READ errorText NOTIFY errorMessageChanged)
    Q_PROPERTY(bool hasError READ hasError NOTIFY errorMessageChanged)

public:
    explicit PasswordFormModel(QObject* parent = nullptr);
    ~PasswordFormModel() override;

    Q_INVOKABLE void setPassword(const QString& password);
    bool hasPassword() const { return !m_password.isEmpty(); }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    QString errorText() const { return m_errorMessage.value_or(QString()); }
    bool hasError() const { return m_errorMessage.has_value(); }
    bool isBusy() const { return m_busy; }

signals:
    // Notifies when the field turns empty or non-empty.
    void passwordChanged();
    void errorMessageChanged();
    void busyChanged();
    // A step started by a submit call has ended (either way).
    void finished();

protected:
    // The UTF-8 bytes of the password; the caller wipes them.
    std::string passwordUtf8() const;
    void setErrorMessage(std::optional<QString> message);
    void setBusy(bool busy);
    // Busy on and the error line cleared: the start of every attempt.
    void beginAttempt();

private:
    QString m_password;
    std::optional<QString> m_errorMessage;
    bool m_busy = false;
};

} // namespace qm
