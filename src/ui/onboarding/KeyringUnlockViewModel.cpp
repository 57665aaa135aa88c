#include "ui/onboarding/KeyringUnlockViewModel.h"

#include "platform/Keychain.h"
#include "state/AppState.h"

#include <QPointer>
#include <utility>

namespace qm {

KeyringUnlockViewModel::KeyringUnlockViewModel(QObject* parent) : StateBoundModel(parent) {}

KeyringUnlockViewModel::~KeyringUnlockViewModel() {
    m_stop.request_stop();
}

void KeyringUnlockViewModel::setUnlocking(bool unlocking, QString error) {
    if (m_unlocking != unlocking || m_error != error) {
        m_unlocking = unlocking;
        m_error = std::move(error);
        emit unlockingChanged();
    }
}

QCoro::Task<void> KeyringUnlockViewModel::unlockKeyring() {
    AppState* state = appState();
    if (!state || m_unlocking) {
        co_return;
    }
    setUnlocking(true, QString());
    const QPointer<KeyringUnlockViewModel> self(this);
    QCoro::Task<KeychainUnlock> prompting = state->unlockKeyring(m_stop.get_token());
    const KeychainUnlock outcome = co_await std::move(prompting);
    if (!self) {
        co_return;
    }
    state = appState();
    if (state && outcome == KeychainUnlock::unlocked) {
        // The face follows what is read now: this model may go with it.
        state->loadStoredState();
        if (!self) {
            co_return;
        }
    }
    const bool stillLocked = !state || state->isKeyringLocked();
    setUnlocking(false, !stillLocked ? QString()
                        : outcome == KeychainUnlock::failed
                            ? QStringLiteral("The keyring could not be unlocked.")
                            : QStringLiteral("The keyring is still locked."));
}

void KeyringUnlockViewModel::unlock() {
    unlockKeyring();
}

void KeyringUnlockViewModel::tryAgain() {
    if (m_unlocking) {
        return;
    }
    if (AppState* state = appState()) {
        setUnlocking(false, QString());
        state->retryLockedKeyring();
    }
}

void KeyringUnlockViewModel::restoreIntoFiles() {
    if (m_unlocking) {
        return;
    }
    if (AppState* state = appState()) {
        setUnlocking(false, QString());
        state->restoreIntoFiles();
    }
}

} // namespace qm
