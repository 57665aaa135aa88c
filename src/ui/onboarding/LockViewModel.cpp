#include "ui/onboarding/LockViewModel.h"

#include "core/storage/KeychainManager.h"
#include "platform/SecureBytes.h"
#include "state/AppState.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>

namespace qm {

LockViewModel::LockViewModel(QObject* parent) : PasswordFormModel(parent) {}

void LockViewModel::finishUnlock() {
    std::string password = passwordUtf8();
    std::optional<QString> failure;
    try {
        if (AppState* state = appState()) {
            state->unlock(password);
        }
    } catch (const KeychainError& error) {
        failure = error.code() == KeychainError::Code::wrongPassword
                      ? QStringLiteral("Incorrect password")
                      : QString::fromUtf8(error.what());
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    wipe(password);
    if (failure) {
        setErrorMessage(std::move(failure));
        setPassword(QString());
        emit passwordCleared();
    }
    setBusy(false);
}

void LockViewModel::unlock() {
    beginAttempt();
    finishUnlock();
}

void LockViewModel::submit() {
    if (isBusy()) {
        return;
    }
    beginAttempt();
    runAfterPaint([this] {
        finishUnlock();
        emit finished();
    });
}

void LockViewModel::resetWallet() {
    if (AppState* state = appState()) {
        state->resetWallet();
    }
}

} // namespace qm
