// The wallet's lifecycle: loading what is stored, creating, unlocking, locking and deleting.

#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "platform/async/TaskHandle.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/AttemptWatch.h"
#include "state/refresh/RefreshOrchestrator.h"
#include "state/signing/Signer.h"
#include "state/walletconnect/WalletConnectService.h"

#include <QPointer>
#include <iostream>

namespace qm {
namespace {

void log(const std::string& line) {
    std::cout << "[AppState] " << line << std::endl;
}

constexpr std::int64_t newWalletAddressCount = 5;

// The stored record and its address indices; none when nothing (or no record) is stored.
// Throws when the storage cannot be read. Signing worker only.
std::optional<StoredWalletRecord> readStoredRecord(KeychainManager& keychain) {
    const std::optional<Bytes> bytes = keychain.loadItem(KeychainManager::walletMetadataItem);
    if (!bytes) {
        return std::nullopt;
    }
    std::optional<StoredWalletRecord> record = decodeWalletRecord(*bytes);
    if (!record) {
        log("The stored wallet record does not decode");
    }
    return record;
}

} // namespace

// What the start-up finds: the stored record whose sealed seed is stored too, and whether a
// locked or absent keyring may hold one. Signing worker only.
struct AppState::StoredState {
    std::optional<StoredWalletRecord> record;
    bool mayBeInLockedKeychain = false;
    bool inAbsentKeychain = false;
    // No wallet opens, yet items of one are stored (a record that does not decode, sealed
    // items without a record or a record without its seed).
    bool itemsWithoutWallet = false;

    static StoredState read(KeychainManager& keychain) {
        StoredState found;
        found.record = readStoredRecord(keychain);
        if (found.record && !keychain.hasSeed(found.record->wallet.id)) {
            found.record.reset();
        }
        if (found.record) {
            // Older releases kept no marker: a wallet found in the keyring gets one now.
            keychain.noteWalletPlace(found.record->wallet.id);
        }
        found.mayBeInLockedKeychain = keychain.walletMayBeInLockedKeychain();
        found.inAbsentKeychain = keychain.walletInAbsentKeychain();
        found.itemsWithoutWallet = !found.record && keychain.holdsAnyItem();
        return found;
    }
};

void AppState::loadStoredState() {
    if (m_tokenStore->load() == TokenStore::LoadResult::unreadable) {
        // The store keeps the unreadable file aside; the wallet goes on without custom tokens.
        m_tokenStore->tokensByChain.clear();
    }
    try {
        applyStoredState(m_signer->withKeychainBlocking(&StoredState::read));
    } catch (const std::exception&) {
        applyStoredStateFailure(std::current_exception());
    }
}

struct AppState::StoredRead {
    std::optional<StoredState> found;
    std::exception_ptr failure;
};

QCoro::Task<AppState::StoredRead> AppState::readStoredStateOnWorker() {
    StoredRead read;
    try {
        // Queued behind the keychain's probe: the window draws meanwhile.
        QCoro::Task<StoredState> reading = m_signer->withKeychain(&StoredState::read);
        read.found = co_await std::move(reading);
    } catch (const std::exception&) {
        read.failure = std::current_exception();
    }
    co_return read;
}

void AppState::applyStoredRead(StoredRead read) {
    if (read.found) {
        applyStoredState(std::move(*read.found));
    } else {
        applyStoredStateFailure(read.failure);
    }
}

QCoro::Task<void> AppState::loadStoredStateInBackground() {
    if (m_tokenStore->load() == TokenStore::LoadResult::unreadable) {
        m_tokenStore->tokensByChain.clear();
    }
    const QPointer<AppState> self(this);
    QCoro::Task<StoredRead> reading = readStoredStateOnWorker();
    StoredRead found = co_await std::move(reading);
    if (!self) {
        co_return;
    }
    applyStoredRead(std::move(found));
    setIsOpening(false);
}

void AppState::applyStoredStateFailure(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        log(std::string("Could not read the stored wallet: ") + error.what());
    }
    // A locked keyring or an unreadable folder: the wallet may well be there. Onboarding
    // here could end in a new wallet written over it, so the lock screen shows instead.
    setHasUnreadableWallet(false);
    m_storedRecordFailure = std::move(failure);
    setRestoringIntoFiles(false);
    setIsKeyringLocked(false);
    setIsOnboarding(false);
    lock();
}

void AppState::applyStoredState(StoredState found) {
    setRestoringIntoFiles(false);
    std::optional<StoredWalletRecord> record = std::move(found.record);
    const bool waitForKeyring = found.mayBeInLockedKeychain || found.inAbsentKeychain;
    setHasUnreadableWallet(found.itemsWithoutWallet && !waitForKeyring);
    if (found.itemsWithoutWallet && !waitForKeyring) {
        log("Items of a wallet are stored, but no record that opens names them");
    }
    m_storedRecordFailure = nullptr;

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
    if (waitForKeyring) {
        // Nothing in the files, but the keyring may hold the wallet: onboarding here would
        // make a second one beside it, and which one shows would follow the keyring.
        log(found.inAbsentKeychain
                ? "The keyring that holds the wallet is not running"
                : "The keyring is locked or does not answer; the wallet may be in it");
        setWallet(std::nullopt);
        setIsKeyringLocked(true, found.inAbsentKeychain);
        setIsOnboarding(false);
        lock();
        return;
    }
    setIsKeyringLocked(false);
    setIsOnboarding(true);
    setIsLocked(false);
    endSession(false);
}

void AppState::retryLockedKeyring() {
    // Waited for like the start-up reads: the window shows what it finds next.
    m_signer->withKeychainBlocking(
        [](KeychainManager& keychain) { keychain.probeKeychainAgain(); });
    loadStoredState();
}

void AppState::restoreIntoFiles() {
    if (!isKeyringAbsent()) {
        return;
    }
    m_signer->withKeychainBlocking([](KeychainManager& keychain) { keychain.keepWalletInFiles(); });
    setRestoringIntoFiles(true);
    setIsKeyringLocked(false);
    setIsOnboarding(true);
    setIsLocked(false);
}

void AppState::setRestoringIntoFiles(bool restoring) {
    if (m_restoringIntoFiles != restoring) {
        m_restoringIntoFiles = restoring;
        emit isKeyringLockedChanged();
    }
}

void AppState::setHasUnreadableWallet(bool unreadable) {
    if (m_hasUnreadableWallet != unreadable) {
        m_hasUnreadableWallet = unreadable;
        emit hasUnreadableWalletChanged();
    }
}

void AppState::setIsKeyringLocked(bool locked, bool absent) {
    if (m_isKeyringLocked != locked || m_isKeyringAbsent != absent) {
        m_isKeyringLocked = locked;
        m_isKeyringAbsent = absent;
        emit isKeyringLockedChanged();
    }
}

QCoro::Task<void> AppState::createWallet(const std::vector<std::string>& mnemonic,
                                         std::string_view password) {
    Wallet record;
    record.id = newWalletID();
    record.name = "Quillmark";
    record.createdAt = Date::now();
    record.bitcoinAccountCount = 1;
    record.ethereumAccountCount = 1;
    record.btcAddressCount = newWalletAddressCount;
    const BTCAddressIndices indices = BTCAddressIndices::sequential(newWalletAddressCount);

    // The mnemonic and the password are read before the first suspension: the caller's
    // buffers need not outlive the call.
    SecretWords words(mnemonic);
    const QPointer<AppState> self(this);
    QCoro::Task<std::optional<DerivedAccounts>> creating =
        m_signer->create(std::move(words), password, record, indices);
    const std::optional<DerivedAccounts> derived = co_await std::move(creating);
    if (!self || !derived) {
        co_return;
    }

    // Sessions left by an earlier wallet would be listed and served for this one.
    m_wcViewModel->endAllSessions();
    clearUnsettledAttempts();
    m_addressIndices.emplace(record.id, indices);
    m_storedRecordFailure = nullptr;
    setHasUnreadableWallet(false);
    setWallet(record);
    setRestoringIntoFiles(false);
    setIsOnboarding(false);
    setIsLocked(false);
    setSelectedAccountIndex(noAccountSelected);
    applyAccounts(*derived);
    startSessionTasks();
}

QCoro::Task<void> AppState::unlock(std::string_view password) {
    if (!m_wallet) {
        if (!m_storedRecordFailure) {
            co_return;
        }
        // The record could not be read at launch (a locked keyring): try again now.
        loadStoredState();
        if (m_storedRecordFailure) {
            std::rethrow_exception(m_storedRecordFailure);
        }
        if (!m_wallet) {
            co_return;
        }
    }
    Signer::AddressPlan plan;
    plan.known = knownAddressIndices(*m_wallet);
    plan.count = m_wallet->btcAddressCount;
    const QPointer<AppState> self(this);
    QCoro::Task<std::optional<DerivedAccounts>> opening =
        m_signer->open(m_wallet->id, password, std::move(plan));
    const std::optional<DerivedAccounts> derived = co_await std::move(opening);
    if (!self || !derived) {
        // Locked, reset or gone while the seed was opened: nothing is shown.
        co_return;
    }
    setSelectedAccountIndex(noAccountSelected);
    applyAccounts(*derived);
    setIsLocked(false);
    startSessionTasks();
    // Kept nowhere: every unlock sets WalletConnect up anew.
    WalletConnectService* walletConnect = m_wcViewModel;
    TaskHandle::spawn(this,
                      [walletConnect](const CancellationToken&) { return walletConnect->setup(); });
}

void AppState::startSessionTasks() {
    m_refresh->startSessionTasks();
    // Read anew: what a run left before the program last ended binds its account now.
    m_attempts->load();
    m_attemptWatch->start();
}

void AppState::clearUnsettledAttempts() {
    try {
        m_attempts->clear();
    } catch (const std::exception& error) {
        log("Could not remove the unsettled transactions: " + std::string(error.what()));
    }
}

void AppState::lock() {
    endSession(true);
}

void AppState::endSession(bool markLocked) {
    m_refresh->stopSessionTasks();
    m_attemptWatch->stop();
    m_signer->forget();
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

QCoro::Task<void> AppState::resetWallet(std::stop_token stop) {
    const QPointer<AppState> self(this);
    // A keyring locked since (a screen locker) would keep its items through the removal and
    // give the wallet back at the next start: it is opened first, or nothing is removed.
    QCoro::Task<void> opening = openKeyringForWalletItems(stop);
    co_await std::move(opening);
    if (!self) {
        co_return;
    }
    // No job may go on with the wallet while its items go (a record written meanwhile would
    // outlive them); the refresh comes back if they cannot all be removed. A locked wallet
    // has no key to keep: an unlock still running must not open what is being removed.
    m_refresh->stopSessionTasks();
    if (m_isLocked) {
        m_signer->forget();
    }
    // Every item of the service goes, whatever wallet it names: a create cut short or a
    // restore over another wallet leaves sealed items no record names.
    auto removal = [](KeychainManager& keychain) {
        keychain.deleteAllItems();
        // Temporary files of interrupted writes may hold copies of what was just removed.
        keychain.removeStaleTemporaryFiles();
    };
    try {
        QCoro::Task<void> removing = m_signer->withKeychain(std::move(removal));
        co_await std::move(removing);
    } catch (const std::exception& error) {
        log("Could not remove a stored item of the wallet: " + std::string(error.what()));
        if (self && !m_isLocked && m_wallet) {
            startSessionTasks();
        }
        throw;
    }
    if (!self) {
        co_return;
    }
    try {
        m_tokenStore->removeAll();
    } catch (const std::exception& error) {
        log("Could not remove the token file: " + std::string(error.what()));
    }
    m_wcViewModel->endAllSessions();
    m_attemptWatch->stop();
    // An unlock still running must not open what was removed.
    m_signer->forget();

    // A wallet can outlive the removal (the keyring's, beside which one was restored into
    // files): the window shows what a start would, its lock screen, and onboarding only when
    // no wallet is stored anywhere.
    QCoro::Task<StoredRead> reading = readStoredStateOnWorker();
    StoredRead left = co_await std::move(reading);
    if (!self) {
        co_return;
    }
    setWallet(std::nullopt);
    m_signer->forget();
    m_refresh->stopSessionTasks();
    emptyAccountLists();
    m_addressIndices.reset();
    applyStoredRead(std::move(left));
    // The unsettled transactions go with the last wallet; one still stored (perhaps of the
    // same phrase) keeps them for its accounts.
    if (m_isOnboarding) {
        clearUnsettledAttempts();
    }
}

void AppState::stopBackgroundTasks() {
    m_refresh->stopBackgroundTasks();
    m_attemptWatch->stop();
}

void AppState::startBitcoinSubscriptions() {
    m_refresh->startBitcoinSubscriptions();
}

} // namespace qm
