#pragma once
// Keeps the wallet's secrets and its stored record: as items of the desktop
// keychain when it works, otherwise as files in the "Quillmark" folder. Seals
// the seed and the recovery phrase under a key derived from the password and
// keeps a password check value beside them.

#include "core/model/Wallet.h"
#include "core/storage/WalletNote.h"
#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/Keychain.h"
#include "platform/SecureBytes.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

class KeychainError : public Error {
public:
    enum class Code {
        saveFailed,
        loadFailed,
        deleteFailed,
        biometricFailed,
        secureEnclaveUnavailable,
        encryptionFailed,
        decryptionFailed,
        itemNotFound,
        wrongPassword,
        // The keyring holding the items is locked (its unlock prompt was dismissed).
        keyringLocked,
        // The keyring holding the items is not running or cannot be reached.
        keyringUnavailable,
    };
    // `status` is the keychain's error code; only the three keychain failures carry one.
    explicit KeychainError(Code code, std::int32_t status = 0);
    Code code() const { return code_; }
    std::int32_t status() const { return status_; }

private:
    Code code_;
    std::int32_t status_;
};

class KeychainManager {
public:
    // PBKDF2-HMAC-SHA512 of the password's UTF-8 bytes and the salt, 100,000 rounds, 32 bytes.
    using KeyDerivation = std::function<SecureBytes(ByteView password, ByteView salt)>;

    struct Config {
        // The desktop keychain; none means there is no keychain at all (file mode).
        std::shared_ptr<Keychain> keychain;
        // The folder that holds "Quillmark" (and an older "Inkwell").
        std::filesystem::path dataLocation;
        // A keychain that has not answered the probe by then counts as unusable.
        std::chrono::milliseconds probeTimeout{5000};
        // Tests replace the derivation to reach its failure paths; empty means PBKDF2.
        KeyDerivation deriveKey;
        // The probe, which may wait for the keychain until the time-out, is left to start()
        // (for a caller that runs it off the window's thread).
        bool deferStart = false;
    };

    static constexpr std::string_view walletMetadataItem = "wallet-metadata";
    // A group of item writes in progress (see writeItemGroup).
    static constexpr std::string_view itemGroupJournal = "pending-items";
    // Files in the storage folder, never secret: the wallet whose items are in the keyring
    // (a start without a reachable keyring then waits for it instead of offering a new
    // wallet), and a create in progress (a start undoes one that never wrote its record).
    static constexpr std::string_view keyringMarkerFile = "keyring-wallet.json";
    static constexpr std::string_view createJournalFile = "pending-create.json";
    static constexpr std::string_view probeService = Keychain::probeService;
    static constexpr std::string_view probeAccount = Keychain::probeAccount;

    // The process's instance: the Secret Service and the user's data location; its probe
    // waits for start().
    static KeychainManager& shared();
    // Its configuration (probe time-out 5 s, start deferred).
    static Config sharedConfig();

    // Moves an old "Inkwell" folder to "Quillmark", creates it and removes the temporary
    // files of writes an earlier process did not finish; then start(), unless deferred.
    explicit KeychainManager(Config config);
    KeychainManager(const KeychainManager&) = delete;
    KeychainManager& operator=(const KeychainManager&) = delete;

    // Probes the keychain, finishes a group of writes a killed process left and undoes a
    // create that never wrote its record. Once; nothing else may run before it.
    void start();
    bool started() const { return started_; }

    // "com.quillmark.wallet": the keychain service of every item but the probe.
    const std::string& service() const { return service_; }
    // True when items are written as files; it only changes from false to true (a keychain
    // that locks later is no reason), but for a keychain found locked that opens to
    // probeKeychainAgain().
    bool useFileFallback() const { return useFileFallback_; }
    void switchToFileFallback() { useFileFallback_ = true; }
    // The "Quillmark" folder under the data location (in both modes).
    const std::filesystem::path& storageDir() const { return storageDir_; }
    // What the last probe found.
    KeychainStatus keychainStatus() const { return keychainStatus_; }
    // True when the keychain did not open to the probe (locked, refusing, silent) and may hold
    // a wallet record: its items are neither read nor written in this state, so the record
    // may be there though loadItem finds none.
    bool walletMayBeInLockedKeychain() const { return walletMayBeLocked_; }
    // True when no keychain answers at all while the marker says the wallet's items are in
    // it: the keyring daemon is not running.
    bool walletInAbsentKeychain() const { return walletInAbsent_; }
    // The way out when the keyring that holds the wallet is not running: from now on this
    // process keeps the wallet's items in files and leaves the keyring, and the wallet in it,
    // alone. Nothing is written now; the next wallet stored is named in the marker as kept in
    // files, and a start that finds that marker keeps to the files in the same way. A probe
    // that finds the marker unchanged (a "Try Again") undoes the choice.
    void keepWalletInFiles();
    // Whether the wallet is kept in files by choice (the above, or a marker naming a wallet in
    // files): the keychain is then neither probed, read nor written.
    bool keepsWalletInFiles() const { return filesChosen_; }
    // Probes again after the keychain was found locked or absent: when it now works the
    // process uses it (and reads it) like after a start with it unlocked, and an unfinished
    // create that waited for it is undone. Nothing changes otherwise.
    void probeKeychainAgain();
    // What writing or removing the wallet's items needs of the keychain now: nothing (it
    // holds none of them, or there is none), its unlock prompt first (it holds them or may:
    // locked now or since the probe; the prompt returns at once when it is open), or it
    // cannot be had (the marker names it, but it is not running).
    enum class KeyringNeed { none, unlock, unreachable };
    KeyringNeed keyringNeedForWalletItems();
    // The keychain itself, for its unlock prompt, which may wait on the user for long and so
    // runs on a thread of its own (Keychain::unlock is safe there); none without a keychain.
    std::shared_ptr<Keychain> keychain() const { return keychain_; }
    // Removes temporary files of interrupted writes (".<name>.XXXXXX") from the storage
    // folder; never throws.
    void removeStaleTemporaryFiles();
    // Whether `name` is one of this service's items: the record, a journal, or a sealed item
    // of any wallet id.
    static bool isItemName(std::string_view name);
    // Whether any item of this service is stored, in either medium, of any wallet id. A
    // medium that cannot be listed counts as holding none.
    bool holdsAnyItem();
    // Removes every item of this service from both media, whatever wallet id it names, then
    // the marker and an unfinished create's journal. A keychain whose items cannot be listed
    // (locked) throws before anything is removed; otherwise every item is tried, then the
    // first failure is thrown (and the marker stays). While the wallet is kept in files by
    // choice only the files go, the marker says again that the keyring holds a wallet (the
    // one left there) and the keychain is probed again, as at a start.
    void deleteAllItems();
    // Whether the marker, or a create that has not finished, says a wallet's items are in the
    // keychain. A marker that cannot be read counts as one.
    bool walletNotedInKeychain() const;
    // Sets the marker for the wallet just written or found: names it when its sealed seed is
    // in the keychain, removes it when not; while the wallet is kept in files by choice, names
    // it as kept in files. Nothing when the keychain cannot be asked; never throws.
    void noteWalletPlace(std::string_view walletID);

    // Writes the items so that a kill at any point leaves the earlier values or the new ones:
    // a journal naming every new value goes first, then the items in order, then the journal
    // is removed; a start that finds the journal writes the items again. A failing write
    // drops the journal and throws; the caller puts back what it replaced.
    void writeItemGroup(const std::vector<std::pair<std::string, Bytes>>& items);
    // Finishes a group that a killed process left (the manager's creation does this, and a
    // keychain that opens later); false when a journal is there and could not be finished.
    bool completeInterruptedGroup();

    // Keychain items. Save clears, then stores; load gives nothing for an absent item;
    // delete of an absent item succeeds. Failures throw saveFailed/loadFailed/deleteFailed.
    void keychainSave(ByteView data, std::string_view service, std::string_view key);
    std::optional<Bytes> keychainLoad(std::string_view service, std::string_view key);
    void keychainDelete(std::string_view service, std::string_view key);
    // Removes the file `key` in the storage folder; an absent file is success, any other
    // failure throws FileError.
    void deleteFile(std::string_view key);

    // Writes an item under the write rule: the keychain in keychain mode (or when it holds the
    // item), and when that save fails the process turns to files for good; a file is written
    // atomically with mode 0600 and its failure throws FileError. A copy left in the other
    // medium is cleared. A keychain locked since the probe is not left: an item it holds (or
    // may hold) throws keyringLocked and nothing is written (unlock it, then write again);
    // any other item goes to a file.
    void storeItem(std::string_view key, ByteView data);
    // Reads an item from the current medium, then from the other one (items written before
    // a switch stay where they were). Nothing when absent in both; a read failure throws
    // (loadFailed or FileError), so "unreadable" never looks like "absent".
    std::optional<Bytes> loadItem(std::string_view key);
    // Removes an item from both media; absent counts as removed; failures throw.
    void deleteItem(std::string_view key);

    // The 32-byte sealing key; throws CryptoError if the derivation fails.
    SecureBytes deriveKey(std::string_view password, ByteView salt) const;
    // SHA-256 of the password's UTF-8 bytes followed by the salt: the backup file's
    // "verifier", and the "verify-" item of older releases. Never stored by this one: it
    // tests a password at the speed of one hash.
    static Bytes passwordCheckValue(std::string_view password, ByteView salt);
    // The "verify-" item as stored now: a tag and an HMAC keyed with the sealing key, so that
    // testing a password costs the whole derivation.
    static Bytes storedCheckValue(ByteView sealingKey);
    // Whether a "verify-" item has the stored form (else it is the older SHA-256 form).
    static bool isStoredCheckValue(ByteView verifier);

    // Seals the seed under a fresh salt: "salt-", "seed-" and "verify-" + id, as a group.
    void storeSeed(ByteView seed, std::string_view walletID, std::string_view password);
    // Seals the seed and the words joined by spaces under one fresh salt and one derivation:
    // "salt-", "seed-", "verify-" and "mnemonic-" + id, as a group.
    void storeSeedAndPhrase(ByteView seed, const std::vector<std::string>& words,
                            std::string_view walletID, std::string_view password);
    // A new wallet: the sealed items of storeSeedAndPhrase, then its record, then the marker.
    // A journal of the create goes first and is removed last, so that a kill in between
    // leaves nothing the next start does not undo; a failure removes what was written (or
    // leaves that to the next start) and throws.
    void storeNewWallet(ByteView seed, const std::vector<std::string>& words,
                        std::string_view walletID, std::string_view password, ByteView record);
    // Seals the words joined by spaces under the stored salt as "mnemonic-" + id.
    void storeMnemonic(const std::vector<std::string>& words, std::string_view walletID,
                       std::string_view password);
    // Opens the seed. Throws itemNotFound, wrongPassword (checked after the derivation, so a
    // wrong password costs as much as a right one), decryptionFailed, or the read failure of
    // an item. A "verify-" item of the older form is replaced by the stored form once the
    // seed has opened (a failing write leaves it for the next time).
    SecureBytes loadSeed(std::string_view walletID, std::string_view password);
    // Opens the phrase as loadSeed opens the seed; the caller wipes the words.
    std::vector<std::string> loadMnemonic(std::string_view walletID, std::string_view password);
    // Whether "seed-" + id is stored; a read failure throws instead of answering false.
    bool hasSeed(std::string_view walletID);
    // The stored wallet record; nothing when none is stored or it does not decode. A read
    // failure (a locked keyring) throws, so it never looks like "no wallet".
    std::optional<Wallet> loadWalletMetadata();
    // Removes "seed-", "salt-", "verify-" and "mnemonic-" + id, in that order; the first
    // failure throws and the later items stay.
    void deleteWallet(std::string_view walletID);

private:
    std::filesystem::path itemPath(std::string_view key) const;
    WalletNoteFile keyringMarker() const;
    // Whether the marker names a wallet kept in files; a marker that cannot be read does not.
    bool markerNamesFiles() const;
    WalletNoteFile createJournal() const;
    // Removes the sealed items of `walletID` and a marker that names it; false (logged) when
    // one could not be removed.
    bool removeCreatedItems(const std::string& walletID);
    // A create that a killed process left: undone unless its record was written (then only
    // its journal goes). Waits, keeping the journal, for a keychain it wrote to.
    void undoInterruptedCreate();
    void writeItemFile(std::string_view key, ByteView data);
    std::optional<Bytes> readItemFile(std::string_view key) const;
    bool keychainReachable() const { return keychain_ && keychainWorked_; }
    void clearKeychainCopy(std::string_view key);
    // Whether the reachable keychain holds the item, or cannot tell; asked without a prompt.
    bool keychainMayHold(std::string_view key);
    // After a failed keychain save of `keys`: true when they are to be written as files (a
    // failure other than a lock turns the process to files), false when the locked keychain
    // holds one of them.
    bool keepsFileWhenLocked(const KeychainError& error, std::span<const std::string> keys);
    void clearFileCopy(std::string_view key);
    Bytes requireItem(std::string_view key);
    // Seals the seed, and the phrase when given, under a fresh salt and writes the items.
    void storeSealedGroup(ByteView seed, const SecureBytes* phrase, std::string_view walletID,
                          std::string_view password);
    SecureBytes openSealedItem(std::string_view walletID, std::string_view sealedPrefix,
                               std::string_view password);

    std::string service_ = "com.quillmark.wallet";
    std::shared_ptr<Keychain> keychain_;
    KeyDerivation deriveKey_;
    std::filesystem::path storageDir_;
    void probe();

    std::chrono::milliseconds probeTimeout_;
    bool started_ = false;
    KeychainStatus keychainStatus_ = KeychainStatus::absent;
    bool walletMayBeLocked_ = false;
    bool walletInAbsent_ = false;
    bool keychainWorked_ = false;
    bool useFileFallback_ = true;
    bool filesChosen_ = false;
};

} // namespace qm
