#include "ui/onboarding/LockViewModel.h"

#include "core/storage/KeychainManager.h"
#include "platform/SecureBytes.h"
#include "state/AppState.h"

#include <QPointer>
#include <exception>
#include <optional>
#include <string>
#include <utility>

namespace qm {

LockViewModel::LockViewModel(QObject* parent) : PasswordFormModel(parent) {}

QCoro::Task<void> LockViewModel::unlock() {
    beginAttempt();
    const QPointer<LockViewModel> self(this);
    std::string password = passwordUtf8();
    std::optional<QString> failure;
    try {
        if (AppState* state = appState()) {
            QCoro::Task<void> unlocking = state->unlock(password);
            // Read before the unlock's first suspension: no copy needs to stay here.
            wipe(password);
            co_await std::move(unlocking);
        }
    } catch (const KeychainError& error) {
        failure = error.code() == KeychainError::Code::wrongPassword
                      ? QStringLiteral("Incorrect password")
                      : QString::fromUtf8(error.what());
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    wipe(password);
    if (!self) {
        co_return;
    }
    // Used or refused, the password goes (from the field too); a failure shows why.
    wipePassword();
    if (failure) {
        setErrorMessage(std::move(failure));
        emit passwordCleared();
    }
    setBusy(false);
}

void LockViewModel::submit() {
    if (isBusy()) {
        return;
    }
    afterStep(unlock(), [this] { emit finished(); });
}

void LockViewModel::resetWallet() {
    if (AppState* state = appState()) {
        state->resetWallet();
    }
}

} // namespace qm
