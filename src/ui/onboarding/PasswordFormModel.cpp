#include "ui/onboarding/PasswordFormModel.h"

#include "ui/onboarding/SecretText.h"

#include <utility>

namespace qm {

PasswordFormModel::PasswordFormModel(QObject* parent) : StateBoundModel(parent) {}

PasswordFormModel::~PasswordFormModel() {
    wipeText(m_password);
}

void PasswordFormModel::setPassword(const QString& password) {
    if (m_password == password) {
        return;
    }
    const bool had = hasPassword();
    wipeText(m_password);
    m_password = password;
    if (had != hasPassword()) {
        emit passwordChanged();
    }
}

std::string PasswordFormModel::passwordUtf8() const {
    return secretUtf8(m_password);
}

void PasswordFormModel::setErrorMessage(std::optional<QString> message) {
    if (m_errorMessage == message) {
        return;
    }
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
}

void PasswordFormModel::setBusy(bool busy) {
    if (m_busy == busy) {
        return;
    }
    m_busy = busy;
    emit busyChanged();
}

void PasswordFormModel::beginAttempt() {
    setBusy(true);
    setErrorMessage(std::nullopt);
}

} // namespace qm
