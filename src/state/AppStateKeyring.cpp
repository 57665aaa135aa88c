// The wallet and the desktop keyring: the first look at what is stored while the keyring is
// still being probed, the keyring's own unlock prompt, and the unlock that writing or
// removing the wallet's items needs first.

#include "core/storage/KeychainManager.h"
#include "state/AppState.h"
#include "state/signing/Signer.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <memory>

namespace qm {

void AppState::setIsOpening(bool opening) {
    if (m_isOpening != opening) {
        m_isOpening = opening;
        emit isOpeningChanged();
    }
}

void AppState::showStoredState() {
    if (m_isOpening) {
        return; // the first look is still running; it settles the window
    }
    if (m_signer->keychainStarted()) {
        loadStoredState();
        return;
    }
    setIsOpening(true);
    loadStoredStateInBackground();
}

QCoro::Task<KeychainUnlock> AppState::unlockKeyring(std::stop_token stop) {
    const QPointer<AppState> self(this);
    QCoro::Task<std::shared_ptr<Keychain>> fetching = m_signer->desktopKeychain();
    const std::shared_ptr<Keychain> keychain = co_await std::move(fetching);
    if (!self || !keychain) {
        co_return KeychainUnlock::failed;
    }
    QFuture<KeychainUnlock> prompting =
        QtConcurrent::run([keychain, stop] { return keychain->unlock(stop); });
    const KeychainUnlock outcome = co_await prompting;
    if (!self) {
        co_return outcome;
    }
    if (outcome == KeychainUnlock::unlocked) {
        // A keyring found locked at start is used from now on, as after an unlocked start.
        QCoro::Task<void> probing = m_signer->probeKeychainAgain();
        co_await std::move(probing);
    }
    co_return outcome;
}

QCoro::Task<void> AppState::openKeyringForWalletItems(std::stop_token stop) {
    const QPointer<AppState> self(this);
    QCoro::Task<KeychainManager::KeyringNeed> asking = m_signer->keyringNeedForWalletItems();
    const KeychainManager::KeyringNeed need = co_await std::move(asking);
    if (need == KeychainManager::KeyringNeed::unreachable) {
        throw KeychainError(KeychainError::Code::keyringUnavailable);
    }
    if (!self || need == KeychainManager::KeyringNeed::none) {
        co_return;
    }
    QCoro::Task<KeychainUnlock> unlocking = unlockKeyring(stop);
    const KeychainUnlock outcome = co_await std::move(unlocking);
    if (outcome == KeychainUnlock::dismissed) {
        throw KeychainError(KeychainError::Code::keyringLocked);
    }
    if (outcome == KeychainUnlock::failed) {
        throw KeychainError(KeychainError::Code::keyringUnavailable);
    }
}

void AppState::showRestoredWallet(const Wallet& wallet) {
    setWallet(wallet);
    m_storedRecordFailure = nullptr;
    setHasUnreadableWallet(false);
    setIsKeyringLocked(false);
    setRestoringIntoFiles(false);
    setIsOnboarding(false);
    lock();
}

} // namespace qm
