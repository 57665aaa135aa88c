#include "core/storage/KeychainManager.h"

#include "core/encoding/Base64.h"
#include "core/json/JSONReader.h"
#include "core/model/JSONFields.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Crypto.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <nlohmann/json.hpp>
#include <span>

namespace qm {
namespace {

constexpr std::size_t saltSize = 16;
constexpr std::uint32_t derivationRounds = 100'000;
// The stored check value: this tag, then HMAC-SHA256(sealing key, label).
constexpr std::array<std::uint8_t, 4> checkValueTag = {'Q', 'M', 'C', '2'};
constexpr std::string_view checkValueLabel = "Quillmark password check";

std::string keychainText(KeychainError::Code code, std::int32_t status) {
    using Code = KeychainError::Code;
    switch (code) {
    case Code::saveFailed:
        return "Keychain save failed: " + std::to_string(status);
    case Code::loadFailed:
        return "Keychain load failed: " + std::to_string(status);
    case Code::deleteFailed:
        return "Keychain delete failed: " + std::to_string(status);
    case Code::biometricFailed:
        return "Biometric authentication failed";
    case Code::secureEnclaveUnavailable:
        return "Secure Enclave not available";
    case Code::encryptionFailed:
        return "Encryption failed";
    case Code::decryptionFailed:
        return "Decryption failed";
    case Code::itemNotFound:
        return "Item not found in keychain";
    case Code::wrongPassword:
        return "Incorrect password";
    case Code::keyringLocked:
        return "The keyring is locked";
    case Code::keyringUnavailable:
        return "The keyring is not available";
    }
    return "Keychain error";
}

std::string itemName(std::string_view prefix, std::string_view walletID) {
    return std::string(prefix) + std::string(walletID);
}

// Strict UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool isValidUTF8(ByteView bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        std::size_t extra = 0;
        std::uint32_t min = 0;
        std::uint32_t value = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, value = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, value = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, value = lead & 0x07;
        } else {
            return false;
        }
        if (bytes.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (bytes[i + k] & 0x3F);
        }
        if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

// The words joined by spaces. Reserved up front: a growing string would leave unwiped
// copies of the words behind.
SecureBytes joinedPhrase(const std::vector<std::string>& words) {
    std::size_t length = 0;
    for (const std::string& word : words) {
        length += word.size() + 1;
    }
    std::string phrase;
    phrase.reserve(length);
    for (const std::string& word : words) {
        if (!phrase.empty()) {
            phrase += ' ';
        }
        phrase += word;
    }
    SecureBytes bytes = SecureBytes::fromText(phrase);
    wipe(phrase);
    return bytes;
}

constexpr std::string_view sealedItemPrefixes[] = {"salt-", "seed-", "verify-", "mnemonic-"};

void log(const std::string& line) {
    std::cout << "[KeychainManager] " << line << std::endl;
}

// The journal of an item group: [[name, Base64 of the value], ...] in the order of writing.
Bytes encodeJournal(const std::vector<std::pair<std::string, Bytes>>& items) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& [name, value] : items) {
        list.push_back(nlohmann::json::array({name, base64Encode(value)}));
    }
    const std::string text = list.dump();
    return Bytes(text.begin(), text.end());
}

// None when the journal is not one this manager wrote (or names something not an item).
std::optional<std::vector<std::pair<std::string, Bytes>>> decodeJournal(ByteView bytes) {
    const auto list = JSONReader::tryRead(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
        JSONReader::stored);
    if (!list || !list->is_array()) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, Bytes>> items;
    for (const nlohmann::json& entry : *list) {
        if (!entry.is_array() || entry.size() != 2 || !entry[0].is_string() ||
            !entry[1].is_string()) {
            return std::nullopt;
        }
        std::string name = entry[0].get<std::string>();
        std::optional<Bytes> value = base64Decode(entry[1].get<std::string>());
        if (!value || !KeychainManager::isItemName(name) ||
            name == KeychainManager::itemGroupJournal) {
            return std::nullopt;
        }
        items.emplace_back(std::move(name), std::move(*value));
    }
    return items;
}

} // namespace

KeychainError::KeychainError(Code code, std::int32_t status)
    : Error(keychainText(code, status)), code_(code), status_(status) {}

KeychainManager::Config KeychainManager::sharedConfig() {
    Config config;
    config.keychain = std::make_shared<SecretServiceKeychain>();
    config.dataLocation = dataLocation();
    config.deferStart = true;
    return config;
}

KeychainManager& KeychainManager::shared() {
    static KeychainManager instance(sharedConfig());
    return instance;
}

KeychainManager::KeychainManager(Config config)
    : keychain_(std::move(config.keychain)), deriveKey_(std::move(config.deriveKey)),
      probeTimeout_(config.probeTimeout) {
    if (!deriveKey_) {
        deriveKey_ = [](ByteView password, ByteView salt) {
            return crypto::pbkdf2HmacSha512(password, salt, derivationRounds, 32);
        };
    }
    // The folder of an older release moves once; failures leave things as they are.
    storageDir_ = config.dataLocation / "Quillmark";
    const std::filesystem::path legacy = config.dataLocation / "Inkwell";
    std::error_code ignored;
    if (std::filesystem::is_directory(legacy, ignored) &&
        !std::filesystem::exists(storageDir_, ignored)) {
        std::filesystem::rename(legacy, storageDir_, ignored);
    }
    try {
        ensureDirectory(storageDir_, 0700);
    } catch (const FileError&) {
        // A folder that cannot be made shows as a write failure when an item is written.
    }
    // One process at a time runs: every temporary file there now is left from a killed one.
    removeStaleTemporaryFiles();
    if (!config.deferStart) {
        start();
    }
}

bool KeychainManager::isItemName(std::string_view name) {
    if (name == walletMetadataItem || name == itemGroupJournal) {
        return true;
    }
    for (const std::string_view prefix : sealedItemPrefixes) {
        if (name.size() > prefix.size() && name.starts_with(prefix)) {
            // Wallet ids are UUIDs: nothing here can name a path.
            return std::all_of(
                name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), [](char c) {
                    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-';
                });
        }
    }
    return false;
}

bool KeychainManager::holdsAnyItem() {
    if (keychainReachable()) {
        try {
            for (const std::string& account : keychain_->accounts(service_)) {
                if (isItemName(account)) {
                    return true;
                }
            }
        } catch (const KeychainBackendError& error) {
            log(std::string("Could not list the keychain's items: ") + error.what());
        }
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(storageDir_, error)) {
        if (isItemName(entry.path().filename().string())) {
            return true;
        }
    }
    return false;
}

void KeychainManager::deleteAllItems() {
    // Listed first: a keychain that cannot list them (locked) must not see the files go
    // while its own items stay.
    if (walletMayBeLocked_) {
        throw KeychainError(KeychainError::Code::keyringLocked);
    }
    if (walletInAbsent_) {
        throw KeychainError(KeychainError::Code::keyringUnavailable);
    }
    std::vector<std::string> accounts;
    if (keychainReachable()) {
        try {
            accounts = keychain_->accounts(service_);
        } catch (const KeychainLockedError&) {
            throw KeychainError(KeychainError::Code::keyringLocked);
        } catch (const KeychainBackendError& error) {
            throw KeychainError(KeychainError::Code::deleteFailed, error.code());
        }
    }
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(storageDir_, error)) {
        if (std::string name = entry.path().filename().string(); isItemName(name)) {
            files.push_back(std::move(name));
        }
    }
    std::exception_ptr first;
    const auto attempt = [&first](const auto& remove) {
        try {
            remove();
        } catch (const std::exception&) {
            if (!first) {
                first = std::current_exception();
            }
        }
    };
    for (const std::string& account : accounts) {
        if (isItemName(account)) {
            attempt([&] { keychainDelete(service_, account); });
        }
    }
    for (const std::string& file : files) {
        attempt([&] { deleteFile(file); });
    }
    if (first) {
        std::rethrow_exception(first);
    }
    // Only now: while an item stays, so does the note of where it is.
    if (filesChosen_) {
        // The wallet left in the keyring is still there: a start without the keyring waits
        // for it again rather than offer a new wallet that it would shadow.
        keyringMarker().write({std::string(), ItemPlace::keyring});
        createJournal().remove();
        // It is the stored wallet now: looked for as a start would, so that it opens (or is
        // waited for), and a wallet created next goes where it would shadow nothing.
        probeKeychainAgain();
        return;
    }
    keyringMarker().remove();
    createJournal().remove();
}

void KeychainManager::writeItemGroup(const std::vector<std::pair<std::string, Bytes>>& items) {
    storeItem(itemGroupJournal, encodeJournal(items));
    try {
        for (const auto& [name, value] : items) {
            storeItem(name, value);
        }
    } catch (const std::exception&) {
        // The caller puts the earlier values back; a journal left here would undo that.
        try {
            deleteItem(itemGroupJournal);
        } catch (const std::exception& error) {
            log(std::string("Could not remove the journal of a failed write: ") + error.what());
        }
        throw;
    }
    try {
        deleteItem(itemGroupJournal);
    } catch (const std::exception& error) {
        // Every item is written: the next start writes the same values once more.
        log(std::string("Could not remove the journal of a finished write: ") + error.what());
    }
}

bool KeychainManager::completeInterruptedGroup() {
    try {
        const std::optional<Bytes> journal = loadItem(itemGroupJournal);
        if (!journal) {
            return true;
        }
        if (const auto items = decodeJournal(*journal)) {
            log("Finishing a write of stored items that was cut short");
            for (const auto& [name, value] : *items) {
                storeItem(name, value);
            }
        } else {
            log("Dropping a journal of stored items that does not decode");
        }
        deleteItem(itemGroupJournal);
        return true;
    } catch (const std::exception& error) {
        log(std::string("Could not finish a write of stored items: ") + error.what());
        return false;
    }
}

void KeychainManager::removeStaleTemporaryFiles() {
    removeInterruptedWrites(storageDir_);
}

void KeychainManager::keychainSave(ByteView data, std::string_view service, std::string_view key) {
    if (!keychain_) {
        throw KeychainError(KeychainError::Code::saveFailed, -1);
    }
    try {
        keychain_->save(service, key, data);
    } catch (const KeychainLockedError&) {
        throw KeychainError(KeychainError::Code::keyringLocked);
    } catch (const KeychainBackendError& error) {
        throw KeychainError(KeychainError::Code::saveFailed, error.code());
    }
}

std::optional<Bytes> KeychainManager::keychainLoad(std::string_view service, std::string_view key) {
    if (!keychain_) {
        throw KeychainError(KeychainError::Code::loadFailed, -1);
    }
    try {
        return keychain_->load(service, key);
    } catch (const KeychainLockedError&) {
        throw KeychainError(KeychainError::Code::keyringLocked);
    } catch (const KeychainBackendError& error) {
        throw KeychainError(KeychainError::Code::loadFailed, error.code());
    }
}

void KeychainManager::keychainDelete(std::string_view service, std::string_view key) {
    if (!keychain_) {
        throw KeychainError(KeychainError::Code::deleteFailed, -1);
    }
    try {
        keychain_->remove(service, key);
    } catch (const KeychainLockedError&) {
        throw KeychainError(KeychainError::Code::keyringLocked);
    } catch (const KeychainBackendError& error) {
        throw KeychainError(KeychainError::Code::deleteFailed, error.code());
    }
}

void KeychainManager::deleteFile(std::string_view key) {
    removeFileIfExists(itemPath(key));
}

std::filesystem::path KeychainManager::itemPath(std::string_view key) const {
    return storageDir_ / std::string(key);
}

void KeychainManager::writeItemFile(std::string_view key, ByteView data) {
    ensureDirectory(storageDir_, 0700);
    writeFileAtomically(itemPath(key), data, 0600);
}

std::optional<Bytes> KeychainManager::readItemFile(std::string_view key) const {
    return readFileIfExists(itemPath(key));
}

// An item lives in one medium: a stale copy in the other would shadow the new one after
// the next start (or the next switch), so it is cleared, as far as the medium allows.
void KeychainManager::clearKeychainCopy(std::string_view key) {
    if (!keychainReachable()) {
        return;
    }
    try {
        keychainDelete(service_, key);
    } catch (const KeychainError&) {
        // The keychain has already failed a save; the file is read first in this process.
    }
}

void KeychainManager::clearFileCopy(std::string_view key) {
    try {
        deleteFile(key);
    } catch (const FileError&) {
        // The keychain copy is read first while the keychain works.
    }
}

bool KeychainManager::keychainMayHold(std::string_view key) {
    return keychainReachable() && keychain_->holdsItem(service_, key, probeTimeout_) != false;
}

bool KeychainManager::keepsFileWhenLocked(const KeychainError& error,
                                          std::span<const std::string> keys) {
    if (error.code() != KeychainError::Code::keyringLocked) {
        switchToFileFallback();
        return true;
    }
    // Locked since the probe (a screen locker): the next start would read an older copy it
    // holds before a file written now. A name it does not hold may go to a file, which is
    // read after the keychain; the keychain stays the medium once it is unlocked again.
    return std::none_of(keys.begin(), keys.end(),
                        [this](const std::string& key) { return keychainMayHold(key); });
}

void KeychainManager::storeItem(std::string_view key, ByteView data) {
    // An item the keychain holds is replaced there, in either mode: a file beside it would
    // be shadowed by it at the next start that finds the keychain working.
    if (!useFileFallback_ || keychainMayHold(key)) {
        try {
            keychainSave(data, service_, key);
            clearFileCopy(key);
            return;
        } catch (const KeychainError& error) {
            if (!keepsFileWhenLocked(error, std::array{std::string(key)})) {
                throw;
            }
        }
    }
    writeItemFile(key, data);
    clearKeychainCopy(key);
}

std::optional<Bytes> KeychainManager::loadItem(std::string_view key) {
    if (!useFileFallback_) {
        if (auto bytes = keychainLoad(service_, key)) {
            return bytes;
        }
        return readItemFile(key);
    }
    if (auto bytes = readItemFile(key)) {
        return bytes;
    }
    // After a switch the keychain still holds what was written before it. A keychain that
    // failed the probe is not asked: it may block, and nothing of this process is in it.
    if (keychainReachable()) {
        return keychainLoad(service_, key);
    }
    return std::nullopt;
}

void KeychainManager::deleteItem(std::string_view key) {
    if (!useFileFallback_) {
        keychainDelete(service_, key);
        deleteFile(key);
        return;
    }
    deleteFile(key);
    if (keychainReachable()) {
        keychainDelete(service_, key);
    }
}

SecureBytes KeychainManager::deriveKey(std::string_view password, ByteView salt) const {
    return deriveKey_(utf8View(password), salt);
}

Bytes KeychainManager::storedCheckValue(ByteView sealingKey) {
    const SecureBytes mac = crypto::hmacSha256(sealingKey, utf8View(checkValueLabel));
    Bytes value;
    value.reserve(checkValueTag.size() + mac.size());
    for (const std::uint8_t byte : checkValueTag) {
        value.push_back(byte);
    }
    value.insert(value.end(), mac.begin(), mac.end());
    return value;
}

bool KeychainManager::isStoredCheckValue(ByteView verifier) {
    return verifier.size() == checkValueTag.size() + 32 &&
           std::equal(checkValueTag.begin(), checkValueTag.end(), verifier.begin());
}

Bytes KeychainManager::passwordCheckValue(std::string_view password, ByteView salt) {
    SecureBytes input(password.size() + salt.size());
    std::copy(password.begin(), password.end(), input.begin());
    std::copy(salt.begin(), salt.end(),
              input.begin() + static_cast<std::ptrdiff_t>(password.size()));
    return crypto::sha256(input);
}

void KeychainManager::storeSeed(ByteView seed, std::string_view walletID,
                                std::string_view password) {
    storeSealedGroup(seed, nullptr, walletID, password);
}

void KeychainManager::storeSeedAndPhrase(ByteView seed, const std::vector<std::string>& words,
                                         std::string_view walletID, std::string_view password) {
    const SecureBytes phrase = joinedPhrase(words);
    storeSealedGroup(seed, &phrase, walletID, password);
}

void KeychainManager::storeSealedGroup(ByteView seed, const SecureBytes* phrase,
                                       std::string_view walletID, std::string_view password) {
    Bytes salt;
    Bytes sealed;
    Bytes verifier;
    Bytes sealedPhrase;
    try {
        salt = crypto::randomBytes(saltSize);
        const SecureBytes key = deriveKey(password, salt);
        sealed = crypto::chachaPolySeal(key, seed);
        verifier = storedCheckValue(key);
        if (phrase) {
            sealedPhrase = crypto::chachaPolySeal(key, *phrase);
        }
    } catch (const CryptoError&) {
        throw KeychainError(KeychainError::Code::encryptionFailed);
    }

    const std::string names[] = {itemName("salt-", walletID), itemName("seed-", walletID),
                                 itemName("verify-", walletID), itemName("mnemonic-", walletID)};
    const ByteView values[] = {salt, sealed, verifier, sealedPhrase};
    const int count = phrase ? 4 : 3;
    const std::span<const std::string> group(names, static_cast<std::size_t>(count));
    // The items go to one medium: after a failed save all of them are written as files,
    // unless the locked keychain holds one of them.
    if (!useFileFallback_ || std::any_of(group.begin(), group.end(), [this](const auto& name) {
            return keychainMayHold(name);
        })) {
        try {
            for (int i = 0; i < count; ++i) {
                keychainSave(values[i], service_, names[i]);
            }
            for (int i = 0; i < count; ++i) {
                clearFileCopy(names[i]);
            }
            return;
        } catch (const KeychainError& error) {
            if (!keepsFileWhenLocked(error, group)) {
                throw;
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        writeItemFile(names[i], values[i]);
    }
    for (int i = 0; i < count; ++i) {
        clearKeychainCopy(names[i]);
    }
}

void KeychainManager::storeMnemonic(const std::vector<std::string>& words,
                                    std::string_view walletID, std::string_view password) {
    const SecureBytes phraseBytes = joinedPhrase(words);
    const Bytes salt = requireItem(itemName("salt-", walletID));
    Bytes sealed;
    try {
        const SecureBytes key = deriveKey(password, salt);
        sealed = crypto::chachaPolySeal(key, phraseBytes);
    } catch (const CryptoError&) {
        throw KeychainError(KeychainError::Code::encryptionFailed);
    }
    storeItem(itemName("mnemonic-", walletID), sealed);
}

Bytes KeychainManager::requireItem(std::string_view key) {
    std::optional<Bytes> bytes = loadItem(key);
    if (!bytes) {
        throw KeychainError(KeychainError::Code::itemNotFound);
    }
    return std::move(*bytes);
}

SecureBytes KeychainManager::openSealedItem(std::string_view walletID,
                                            std::string_view sealedPrefix,
                                            std::string_view password) {
    const Bytes salt = requireItem(itemName("salt-", walletID));
    const Bytes sealed = requireItem(itemName(sealedPrefix, walletID));
    const std::string verifierName = itemName("verify-", walletID);
    const Bytes verifier = requireItem(verifierName);
    SecureBytes key;
    try {
        key = deriveKey(password, salt);
    } catch (const CryptoError&) {
        // A failed derivation is reported like a box that does not open.
        throw KeychainError(KeychainError::Code::decryptionFailed);
    }
    const bool olderForm = !isStoredCheckValue(verifier);
    const Bytes expected = olderForm ? passwordCheckValue(password, salt) : storedCheckValue(key);
    if (expected.size() != verifier.size() || !crypto::constantTimeEqual(expected, verifier)) {
        throw KeychainError(KeychainError::Code::wrongPassword);
    }
    std::optional<SecureBytes> opened;
    try {
        opened = crypto::chachaPolyOpen(key, sealed);
    } catch (const CryptoError&) {
        // Reported like a box that does not open.
    }
    if (!opened) {
        throw KeychainError(KeychainError::Code::decryptionFailed);
    }
    if (olderForm) {
        try {
            storeItem(verifierName, storedCheckValue(key));
        } catch (const Error&) {
            // The older form stays readable; the next unlock tries again.
        }
    }
    return std::move(*opened);
}

SecureBytes KeychainManager::loadSeed(std::string_view walletID, std::string_view password) {
    return openSealedItem(walletID, "seed-", password);
}

std::vector<std::string> KeychainManager::loadMnemonic(std::string_view walletID,
                                                       std::string_view password) {
    const SecureBytes phrase = openSealedItem(walletID, "mnemonic-", password);
    std::vector<std::string> words;
    if (!isValidUTF8(phrase)) {
        return words;
    }
    // Reserved up front: moving short strings on growth would leave unwiped copies.
    words.reserve(static_cast<std::size_t>(std::count(phrase.begin(), phrase.end(), ' ')) + 1);
    std::size_t start = 0;
    const std::size_t size = phrase.size();
    while (start < size) {
        std::size_t end = start;
        while (end < size && phrase[end] != ' ') {
            ++end;
        }
        if (end > start) {
            words.emplace_back(reinterpret_cast<const char*>(phrase.data()) + start, end - start);
        }
        start = end + 1;
    }
    return words;
}

bool KeychainManager::hasSeed(std::string_view walletID) {
    return loadItem(itemName("seed-", walletID)).has_value();
}

std::optional<Wallet> KeychainManager::loadWalletMetadata() {
    const std::optional<Bytes> bytes = loadItem(walletMetadataItem);
    if (!bytes) {
        return std::nullopt;
    }
    try {
        return decodeWalletMetadata(*bytes);
    } catch (const JSONDecodingError&) {
        return std::nullopt;
    }
}

void KeychainManager::deleteWallet(std::string_view walletID) {
    for (std::string_view prefix : {"seed-", "salt-", "verify-", "mnemonic-"}) {
        deleteItem(itemName(prefix, walletID));
    }
}

} // namespace qm
