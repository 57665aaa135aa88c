// Where the wallet's items live: the keychain's probe at start, the marker in the data folder
// that names a wallet kept in the keychain (read when the keychain cannot be), and a create
// written under a journal so that a kill leaves the whole wallet or nothing.

#include "core/storage/KeychainManager.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <iostream>

namespace qm {
namespace {

void log(const std::string& line) {
    std::cout << "[KeychainManager] " << line << std::endl;
}

} // namespace

void KeychainManager::start() {
    if (started_) {
        return;
    }
    started_ = true;
    probe();
    useFileFallback_ = !keychainWorked_;
    // Journals too are left from a killed process.
    completeInterruptedGroup();
    undoInterruptedCreate();
}

void KeychainManager::probe() {
    walletMayBeLocked_ = false;
    walletInAbsent_ = false;
    filesChosen_ = markerNamesFiles();
    if (filesChosen_) {
        // The wallet was restored into files when the keyring was gone: the keyring, and the
        // wallet left in it, are not touched (its copy of the record would shadow the files').
        keychainWorked_ = false;
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    keychainStatus_ = keychain_ ? keychain_->probe(probeTimeout_) : KeychainStatus::absent;
    keychainWorked_ = keychainStatus_ == KeychainStatus::usable;
    if (keychainStatus_ == KeychainStatus::usable) {
        return;
    }
    // The marker is read when the keychain is not: no wallet found then is no proof that
    // none is there.
    const bool noted = walletNotedInKeychain();
    if (keychainStatus_ == KeychainStatus::absent) {
        walletInAbsent_ = noted;
        return;
    }
    // A locked keychain is only searched, which it allows without a prompt, in what is left
    // of the time-out. Any item of the service counts (the record, or sealed items whose
    // record is gone); one that cannot tell may hold the wallet.
    const auto left = probeTimeout_ - std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start);
    walletMayBeLocked_ =
        noted || keychain_->holdsAnyItem(service_, std::max(left, std::chrono::milliseconds(0)))
                     .value_or(true);
}

void KeychainManager::probeKeychainAgain() {
    if (keychainStatus_ == KeychainStatus::usable) {
        return;
    }
    probe();
    if (keychainWorked_) {
        useFileFallback_ = false;
        completeInterruptedGroup();
        undoInterruptedCreate();
    }
}

void KeychainManager::keepWalletInFiles() {
    filesChosen_ = true;
    keychainWorked_ = false;
    useFileFallback_ = true;
    walletMayBeLocked_ = false;
    walletInAbsent_ = false;
}

KeychainManager::KeyringNeed KeychainManager::keyringNeedForWalletItems() {
    if (filesChosen_) {
        return KeyringNeed::none;
    }
    if (keychain_ && keychainStatus_ == KeychainStatus::absent) {
        // Started since, perhaps: an absent service answers at once.
        probeKeychainAgain();
    }
    switch (keychainStatus_) {
    case KeychainStatus::usable: {
        // It may have been locked since (a screen locker); a search tells without a prompt
        // whether anything of the wallet is there to reach.
        const std::optional<bool> holds = keychain_->holdsAnyItem(service_, probeTimeout_);
        return holds == false ? KeyringNeed::none : KeyringNeed::unlock;
    }
    case KeychainStatus::locked:
        return walletMayBeLocked_ || walletNotedInKeychain() ? KeyringNeed::unlock
                                                             : KeyringNeed::none;
    case KeychainStatus::absent:
        return walletNotedInKeychain() ? KeyringNeed::unreachable : KeyringNeed::none;
    }
    return KeyringNeed::none;
}

WalletNoteFile KeychainManager::keyringMarker() const {
    return WalletNoteFile(storageDir_ / std::string(keyringMarkerFile));
}

WalletNoteFile KeychainManager::createJournal() const {
    return WalletNoteFile(storageDir_ / std::string(createJournalFile));
}

bool KeychainManager::markerNamesFiles() const {
    try {
        const std::optional<WalletNote> marker = keyringMarker().read();
        return marker && marker->place == ItemPlace::files;
    } catch (const FileError& error) {
        // Read as a marker of the keyring, below: the keyring is waited for.
        log(std::string("Could not read where the wallet is kept: ") + error.what());
        return false;
    }
}

bool KeychainManager::walletNotedInKeychain() const {
    try {
        const std::optional<WalletNote> marker = keyringMarker().read();
        if (marker && marker->place == ItemPlace::keyring) {
            return true;
        }
        const std::optional<WalletNote> creating = createJournal().read();
        return creating && creating->place == ItemPlace::keyring;
    } catch (const FileError& error) {
        log(std::string("Could not read where the wallet is kept: ") + error.what());
        return true;
    }
}

void KeychainManager::noteWalletPlace(std::string_view walletID) {
    if (filesChosen_) {
        // From now on the starts open this wallet in files, not the keyring's.
        try {
            const WalletNote inFiles{std::string(walletID), ItemPlace::files};
            if (keyringMarker().read() != inFiles) {
                keyringMarker().write(inFiles);
            }
        } catch (const FileError& error) {
            log(std::string("Could not note where the wallet is kept: ") + error.what());
        }
        return;
    }
    if (!keychainReachable()) {
        return;
    }
    try {
        const bool inKeychain = keychainLoad(service_, "seed-" + std::string(walletID)).has_value();
        const std::optional<WalletNote> marker = keyringMarker().read();
        const WalletNote inKeyring{std::string(walletID), ItemPlace::keyring};
        if (inKeychain && marker != inKeyring) {
            keyringMarker().write(inKeyring);
        } else if (!inKeychain && marker) {
            keyringMarker().remove();
        }
    } catch (const std::exception& error) {
        log(std::string("Could not note where the wallet is kept: ") + error.what());
    }
}

void KeychainManager::storeNewWallet(ByteView seed, const std::vector<std::string>& words,
                                     std::string_view walletID, std::string_view password,
                                     ByteView record) {
    const std::string id(walletID);
    if (!isItemName("seed-" + id)) {
        throw KeychainError(KeychainError::Code::encryptionFailed);
    }
    ensureDirectory(storageDir_, 0700);
    createJournal().write({id, useFileFallback_ ? ItemPlace::files : ItemPlace::keyring});
    try {
        storeSeedAndPhrase(seed, words, id, password);
        storeItem(walletMetadataItem, record);
    } catch (const std::exception&) {
        // Nothing of a create that failed stays; what resists is left to the next start.
        if (removeCreatedItems(id)) {
            try {
                createJournal().remove();
            } catch (const FileError&) {
                // The next start finds no record of this wallet and removes what is left.
            }
        }
        throw;
    }
    noteWalletPlace(id);
    try {
        createJournal().remove();
    } catch (const FileError& error) {
        // The next start finds the record and only drops the journal.
        log(std::string("Could not remove the journal of a finished create: ") + error.what());
    }
}

bool KeychainManager::removeCreatedItems(const std::string& walletID) {
    try {
        deleteWallet(walletID);
        const std::optional<WalletNote> marker = keyringMarker().read();
        if (marker && marker->walletID == walletID) {
            keyringMarker().remove();
        }
        return true;
    } catch (const std::exception& error) {
        log(std::string("Could not remove the items of an unfinished create: ") + error.what());
        return false;
    }
}

void KeychainManager::undoInterruptedCreate() {
    std::optional<WalletNote> creating;
    try {
        creating = createJournal().read();
    } catch (const FileError& error) {
        log(std::string("Could not read the journal of a create: ") + error.what());
        return;
    }
    if (!creating) {
        return;
    }
    if (creating->place == ItemPlace::keyring && !keychainReachable()) {
        return; // its items may be in the keychain: kept until it can be reached
    }
    if (isItemName("seed-" + creating->walletID)) {
        std::optional<Wallet> record;
        try {
            record = loadWalletMetadata();
        } catch (const std::exception& error) {
            log(std::string("Could not read the record after a create: ") + error.what());
            return;
        }
        if (record && record->id == creating->walletID) {
            noteWalletPlace(creating->walletID); // killed after its record
        } else {
            log("Removing the items of a create that was cut short");
            if (!removeCreatedItems(creating->walletID)) {
                return;
            }
        }
    }
    try {
        createJournal().remove();
    } catch (const FileError& error) {
        log(std::string("Could not remove the journal of a create: ") + error.what());
    }
}

} // namespace qm
