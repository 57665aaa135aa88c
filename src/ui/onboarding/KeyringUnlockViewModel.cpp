#include "ui/onboarding/KeyringUnlockViewModel.h"

#include "core/storage/KeychainManager.h"
#include "state/AppState.h"
#include "state/signing/Signer.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <memory>
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
    QCoro::Task<std::shared_ptr<Keychain>> fetching = state->signer().desktopKeychain();
    const std::shared_ptr<Keychain> keychain = co_await std::move(fetching);
    if (!self) {
        co_return;
    }
    KeychainUnlock outcome = KeychainUnlock::failed;
    if (keychain) {
        QFuture<KeychainUnlock> prompting = QtConcurrent::run(
            [keychain, stop = m_stop.get_token()] { return keychain->unlock(stop); });
        outcome = co_await prompting;
        if (!self) {
            co_return;
        }
    }
    state = appState();
    if (state && outcome == KeychainUnlock::unlocked) {
        // The face follows what is read now: this model may go with it.
        state->retryLockedKeyring();
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

} // namespace qm
