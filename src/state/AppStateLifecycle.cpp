// The wallet's lifecycle: loading what is stored, creating, unlocking, locking and deleting.

#include "core/crypto/BIP39.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "platform/async/TaskHandle.h"
#include "state/AppState.h"
#include "state/WalletConnectSetup.h"
#include "state/refresh/RefreshOrchestrator.h"

#include <iostream>

namespace qm {
namespace {

void log(const std::string& line) {
    std::cout << "[AppState] " << line << std::endl;
}

constexpr std::int64_t newWalletAddressCount = 5;

} // namespace

void AppState::loadStoredState() {
    if (m_tokenStore->load() == TokenStore::LoadResult::unreadable) {
        // The store keeps the unreadable file aside; the wallet goes on without custom tokens.
        m_tokenStore->tokensByChain.clear();
    }

    std::optional<StoredWalletRecord> record;
    try {
        record = readStoredRecord();
        if (record && !m_keychain->hasSeed(record->wallet.id)) {
            record.reset();
        }
        m_storedRecordFailure = nullptr;
    } catch (const std::exception& error) {
        // A locked keyring or an unreadable folder: the wallet may well be there. Onboarding
        // here could end in a new wallet written over it, so the lock screen shows instead.
        log(std::string("Could not read the stored wallet: ") + error.what());
        m_storedRecordFailure = std::current_exception();
        setIsKeyringLocked(false);
        setIsOnboarding(false);
        lock();
        return;
    }

    if (record) {
        if (record->btcAddressIndices) {
            m_addressIndices.emplace(record->wallet.id, *record->btcAddressIndices);
        } else {
            m_addressIndices.reset();
        }
        setWallet(record->wallet);
        setIsKeyringLocked(false);
        setIsOnboarding(false);
        // Shown again after the window was closed: a real lock, so no job or key stays behind.
        lock();
        return;
    }
    if (m_keychain->walletMayBeInLockedKeychain()) {
        // Nothing in the files, but the locked keyring may hold the wallet: onboarding here
        // would make a second one beside it, and which one shows would follow the lock.
        log("The keyring is locked or does not answer; the wallet may be in it");
        setWallet(std::nullopt);
        setIsKeyringLocked(true);
        setIsOnboarding(false);
        lock();
        return;
    }
    setIsKeyringLocked(false);
    setIsOnboarding(true);
    setIsLocked(false);
    if (m_lastDerivedMasterKey) {
        endSession(false);
    }
}

void AppState::retryLockedKeyring() {
    m_keychain->probeLockedKeychainAgain();
    loadStoredState();
}

void AppState::setIsKeyringLocked(bool locked) {
    if (m_isKeyringLocked != locked) {
        m_isKeyringLocked = locked;
        emit isKeyringLockedChanged();
    }
}

std::optional<StoredWalletRecord> AppState::readStoredRecord() {
    const std::optional<Bytes> bytes = m_keychain->loadItem(KeychainManager::walletMetadataItem);
    if (!bytes) {
        return std::nullopt;
    }
    std::optional<StoredWalletRecord> record = decodeWalletRecord(*bytes);
    if (!record) {
        log("The stored wallet record does not decode");
    }
    return record;
}

void AppState::createWallet(const std::vector<std::string>& mnemonic, std::string_view password) {
    const SecureBytes seed = BIP39::seed(mnemonic, "");
    Wallet record;
    record.id = newWalletID();
    record.name = "Quillmark";
    record.createdAt = Date::now();
    record.bitcoinAccountCount = 1;
    record.ethereumAccountCount = 1;
    record.btcAddressCount = newWalletAddressCount;
    const BTCAddressIndices indices = BTCAddressIndices::sequential(newWalletAddressCount);

    m_keychain->storeSeed(seed, record.id, password);
    m_keychain->storeMnemonic(mnemonic, record.id, password);
    saveWalletRecord(record, indices);

    m_addressIndices.emplace(record.id, indices);
    m_storedRecordFailure = nullptr;
    setWallet(record);
    setIsOnboarding(false);
    setIsLocked(false);
    deriveAccounts(seed);
    startSessionTasks();
}

void AppState::unlock(std::string_view password) {
    if (!m_wallet) {
        if (!m_storedRecordFailure) {
            return;
        }
        // The record could not be read at launch (a locked keyring): try again now.
        loadStoredState();
        if (m_storedRecordFailure) {
            std::rethrow_exception(m_storedRecordFailure);
        }
        if (!m_wallet) {
            return;
        }
    }
    const SecureBytes seed = m_keychain->loadSeed(m_wallet->id, password);
    deriveAccounts(seed);
    setIsLocked(false);
    startSessionTasks();
    // Kept nowhere: every unlock sets WalletConnect up anew.
    WalletConnectSetup* walletConnect = m_wcViewModel;
    TaskHandle::spawn(this,
                      [walletConnect](const CancellationToken&) { return walletConnect->setup(); });
}

void AppState::startSessionTasks() {
    m_refresh->startSessionTasks();
}

void AppState::lock() {
    endSession(true);
}

void AppState::endSession(bool markLocked) {
    m_refresh->stopSessionTasks();
    setLastDerivedMasterKey(std::nullopt);
    if (markLocked) {
        setIsLocked(true);
    }
    emptyAccountLists();
}

void AppState::emptyAccountLists() {
    setBitcoinAccounts({});
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        setEVMAccounts(chain, {});
    }
    setSolanaAccounts({});
}

void AppState::resetWallet() {
    // Each item on its own, so one that cannot be removed leaves no other behind.
    std::vector<std::string> items;
    if (m_wallet) {
        for (const char* prefix : {"seed-", "salt-", "verify-", "mnemonic-"}) {
            items.push_back(prefix + m_wallet->id);
        }
    }
    items.emplace_back(KeychainManager::walletMetadataItem);
    for (const std::string& item : items) {
        try {
            m_keychain->deleteItem(item);
        } catch (const std::exception& error) {
            log("Could not remove a stored item of the wallet: " + std::string(error.what()));
        }
    }

    // Temporary files of interrupted writes may hold copies of what was just removed.
    m_keychain->removeStaleTemporaryFiles();

    setWallet(std::nullopt);
    setLastDerivedMasterKey(std::nullopt);
    setIsLocked(false);
    setIsKeyringLocked(false);
    setIsOnboarding(true);
    m_refresh->stopSessionTasks();
    emptyAccountLists();
    m_addressIndices.reset();
    m_storedRecordFailure = nullptr;
}

void AppState::stopBackgroundTasks() {
    m_refresh->stopBackgroundTasks();
}

void AppState::startBitcoinSubscriptions() {
    m_refresh->startBitcoinSubscriptions();
}

} // namespace qm
