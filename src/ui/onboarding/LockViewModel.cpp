#include "ui/onboarding/LockViewModel.h"

#include "core/storage/KeychainManager.h"
#include "platform/SecureBytes.h"
#include "state/AppState.h"
#include "ui/onboarding/KeyringRefusal.h"

#include <QPointer>
#include <exception>
#include <optional>
#include <string>
#include <utility>

namespace qm {

LockViewModel::LockViewModel(QObject* parent) : PasswordFormModel(parent) {}

LockViewModel::~LockViewModel() {
    m_stop.request_stop();
}

void LockViewModel::setKeyringState(bool locked, bool waiting) {
    if (m_keyringLocked != locked || m_waiting != waiting) {
        m_keyringLocked = locked;
        m_waiting = waiting;
        emit keyringChanged();
    }
}

QCoro::Task<void> LockViewModel::unlock() {
    beginAttempt();
    const QPointer<LockViewModel> self(this);
    std::string password = passwordUtf8();
    std::optional<QString> failure;
    bool keyringLocked = false;
    try {
        if (AppState* state = appState()) {
            QCoro::Task<void> unlocking = state->unlock(password);
            // Read before the unlock's first suspension: no copy needs to stay here.
            wipe(password);
            co_await std::move(unlocking);
        }
    } catch (const KeychainError& error) {
        // A keyring locked since, whose prompt was dismissed, hides the wallet's items: that
        // is not "Item not found", which would invite a reset.
        keyringLocked = error.code() == KeychainError::Code::keyringLocked;
        failure = error.code() == KeychainError::Code::wrongPassword
                      ? QStringLiteral("Incorrect password")
                  : keyringLocked
                      ? QStringLiteral("The keyring is locked. Unlock it, then enter your "
                                       "password again.")
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
    setKeyringState(keyringLocked, m_waiting);
    if (failure) {
        setErrorMessage(std::move(failure));
        emit passwordCleared();
    }
    setBusy(false);
}

void LockViewModel::submit() {
    if (isBusy() || m_waiting) {
        return;
    }
    afterStep(unlock(), [this] { emit finished(); });
}

QCoro::Task<void> LockViewModel::openKeyring() {
    AppState* state = appState();
    if (!state || m_waiting) {
        co_return;
    }
    setKeyringState(m_keyringLocked, true);
    const QPointer<LockViewModel> self(this);
    QCoro::Task<KeychainUnlock> prompting = state->unlockKeyring(m_stop.get_token());
    const KeychainUnlock outcome = co_await std::move(prompting);
    if (!self) {
        co_return;
    }
    if (outcome == KeychainUnlock::unlocked) {
        setKeyringState(false, false);
        setErrorMessage(std::nullopt);
        co_return;
    }
    setKeyringState(true, false);
    setErrorMessage(outcome == KeychainUnlock::failed
                        ? QStringLiteral("The keyring could not be unlocked.")
                        : QStringLiteral("The keyring is still locked."));
}

void LockViewModel::unlockKeyring() {
    openKeyring();
}

QCoro::Task<void> LockViewModel::reset() {
    AppState* state = appState();
    if (!state || m_waiting || isBusy()) {
        co_return;
    }
    setErrorMessage(std::nullopt);
    setKeyringState(m_keyringLocked, true);
    const QPointer<LockViewModel> self(this);
    std::optional<QString> failure;
    bool keyringLocked = m_keyringLocked;
    try {
        QCoro::Task<void> resetting = state->resetWallet(m_stop.get_token());
        co_await std::move(resetting);
        keyringLocked = false;
    } catch (const KeychainError& error) {
        // Its prompt dismissed, the keyring stays locked: its unlock is offered, as after an
        // unlock it refused.
        keyringLocked = keyringLocked || error.code() == KeychainError::Code::keyringLocked;
        failure = walletDeletionFailureText(error);
    } catch (const std::exception& error) {
        failure = walletDeletionFailureText(error);
    }
    if (!self) {
        co_return; // deleted: onboarding took the screen's place
    }
    setKeyringState(keyringLocked, false);
    if (failure) {
        setErrorMessage(std::move(failure));
    }
}

void LockViewModel::resetWallet() {
    reset();
}

} // namespace qm
