#include "core/storage/WalletBackup.h"

#include "core/encoding/Base64.h"
#include "core/json/JSONReader.h"
#include "core/model/JSONFields.h"
#include "core/storage/ItemTransaction.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "platform/Crypto.h"
#include "platform/SecureBytes.h"
#include "platform/Settings.h"

#include <array>
#include <ctime>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace qm {
namespace {

using Code = BackupError::Code;

constexpr std::array<std::uint8_t, 4> magic = {'Q', 'M', 'B', 'K'};
constexpr std::uint8_t formatVersion = 1;
constexpr std::size_t saltSize = 16;
constexpr std::size_t headerSize = magic.size() + 1 + saltSize;
constexpr std::size_t minimumBox = crypto::kSealNonceSize + crypto::kSealTagSize;

const char* backupText(Code code) {
    switch (code) {
    case Code::invalidFile:
        return "Not a valid Quillmark backup file";
    case Code::unsupportedVersion:
        return "Unsupported backup version";
    case Code::decryptionFailed:
        return "Could not decrypt backup";
    case Code::wrongPassword:
        return "Incorrect password";
    case Code::noWalletFound:
        return "No wallet data found to export";
    case Code::corruptedPayload:
        return "Backup data is corrupted";
    case Code::tooManyTokens:
        return "The backup holds more than 10,000 custom tokens";
    }
    return "Backup error";
}

Bytes requireBase64(const nlohmann::json& object, std::string_view key) {
    std::optional<Bytes> bytes = base64Decode(json_fields::requireString(object, key));
    if (!bytes) {
        throw BackupError(Code::corruptedPayload);
    }
    return std::move(*bytes);
}

// A seed item that is absent or cannot be read: the export has nothing complete to carry.
Bytes requireSeedItem(KeychainManager& keychain, const std::string& name) {
    std::optional<Bytes> bytes;
    try {
        bytes = keychain.loadItem(name);
    } catch (const Error&) {
        throw BackupError(Code::noWalletFound);
    }
    if (!bytes) {
        throw BackupError(Code::noWalletFound);
    }
    return std::move(*bytes);
}

// The "verify-" item to store for the payload's wallet, once its seed (and phrase) open
// under the password: a wallet that could never unlock is not restored.
Bytes checkValueOfOpeningSeed(KeychainManager& keychain, const WalletBackup::Payload& payload,
                              std::string_view password) {
    if (payload.salt.size() != saltSize) {
        throw BackupError(Code::corruptedPayload);
    }
    try {
        const SecureBytes key = keychain.deriveKey(password, payload.salt);
        if (!crypto::chachaPolyOpen(key, payload.seed) ||
            (payload.mnemonic && !crypto::chachaPolyOpen(key, *payload.mnemonic))) {
            throw BackupError(Code::corruptedPayload);
        }
        return KeychainManager::storedCheckValue(key);
    } catch (const CryptoError&) {
        throw BackupError(Code::decryptionFailed);
    }
}

// Whether `value` nests no deeper than maxCarriedDepth; walks without recursion, so a
// hostile value of any depth is measured safely.
bool withinCarriedDepth(const nlohmann::json& value) {
    std::vector<std::pair<const nlohmann::json*, std::size_t>> pending{{&value, 1}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        if (!node->is_structured()) {
            continue;
        }
        if (depth > WalletBackup::maxCarriedDepth) {
            return false;
        }
        for (const nlohmann::json& child : *node) {
            pending.emplace_back(&child, depth + 1);
        }
    }
    return true;
}

// The keys walletFromJSON reads are exactly those walletToJSON writes.
bool isKnownWalletKey(const std::string& key) {
    static const nlohmann::json known =
        walletToJSON(Wallet{}, DateCoding::secondsSinceReferenceDate);
    return known.contains(key);
}

std::string compactJSON(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The record object's keys the Wallet reader ignores, each value as compact JSON.
std::map<std::string, std::string> unknownWalletKeys(const nlohmann::json& record) {
    std::map<std::string, std::string> extras;
    for (const auto& [key, value] : record.items()) {
        if (!isKnownWalletKey(key) && withinCarriedDepth(value)) {
            extras.emplace(key, compactJSON(value));
        }
    }
    return extras;
}

// Adds the carried keys to a record written by walletToJSON. A known key is never replaced
// from here, and a text that is not a value we could have carried is left out.
void addWalletExtras(nlohmann::json& record, const std::map<std::string, std::string>& extras) {
    for (const auto& [key, text] : extras) {
        if (isKnownWalletKey(key) || record.contains(key)) {
            continue;
        }
        std::optional<nlohmann::json> value = JSONReader::tryRead(text, JSONReader::stored);
        if (value && withinCarriedDepth(*value)) {
            record[key] = std::move(*value);
        }
    }
}

} // namespace

BackupError::BackupError(Code code) : Error(backupText(code)), code_(code) {}

WalletBackup::SealedFile WalletBackup::readHeader(ByteView file) {
    if (file.size() < headerSize + 1 || !std::equal(magic.begin(), magic.end(), file.begin())) {
        throw BackupError(Code::invalidFile);
    }
    if (file[magic.size()] != formatVersion) {
        throw BackupError(Code::unsupportedVersion);
    }
    return {file.subspan(magic.size() + 1, saltSize), file.subspan(headerSize)};
}

Bytes WalletBackup::encodePayload(const Payload& payload) {
    const std::optional<std::string> createdAt = exactISO8601String(payload.createdAt);
    if (!createdAt) {
        throw JSONEncodingError("backup date out of range");
    }
    nlohmann::json wallet = walletToJSON(payload.wallet, DateCoding::iso8601);
    addWalletExtras(wallet, payload.walletExtras);
    nlohmann::json json = {
        {"version", payload.version},
        {"createdAt", *createdAt},
        {"wallet", std::move(wallet)},
        {"seed", base64Encode(payload.seed)},
        {"salt", base64Encode(payload.salt)},
        {"verifier", base64Encode(payload.verifier)},
        {"tokens", tokenMapToJSON(payload.tokens)},
    };
    if (payload.mnemonic) {
        json["mnemonic"] = base64Encode(*payload.mnemonic);
    }
    if (payload.theme) {
        json["theme"] = *payload.theme;
    }
    const std::string text = json.dump();
    return Bytes(text.begin(), text.end());
}

WalletBackup::Payload WalletBackup::decodePayload(ByteView json) {
    try {
        const nlohmann::json document = json_fields::parse(
            std::string_view(reinterpret_cast<const char*>(json.data()), json.size()));
        const nlohmann::json& object = json_fields::requireObject(document);
        Payload payload;
        payload.version = json_fields::requireInt64(object, "version");
        const std::optional<Date> createdAt =
            dateFromISO8601(json_fields::requireString(object, "createdAt"));
        if (!createdAt || !object.contains("wallet") || !object.contains("tokens")) {
            throw BackupError(Code::corruptedPayload);
        }
        payload.createdAt = *createdAt;
        payload.wallet = walletFromJSON(object.at("wallet"), DateCoding::iso8601);
        payload.walletExtras = unknownWalletKeys(object.at("wallet"));
        // The id names items and files: only the canonical UUID form may do that.
        if (!isCanonicalUUID(payload.wallet.id)) {
            throw BackupError(Code::corruptedPayload);
        }
        payload.seed = requireBase64(object, "seed");
        payload.salt = requireBase64(object, "salt");
        payload.verifier = requireBase64(object, "verifier");
        if (const auto mnemonic = json_fields::optionalString(object, "mnemonic")) {
            std::optional<Bytes> bytes = base64Decode(*mnemonic);
            if (!bytes) {
                throw BackupError(Code::corruptedPayload);
            }
            payload.mnemonic = std::move(*bytes);
        }
        payload.tokens = tokenMapFromJSON(object.at("tokens"));
        std::size_t tokenCount = 0;
        for (const auto& [key, tokens] : payload.tokens) {
            tokenCount += tokens.size();
        }
        if (tokenCount > maxTokens) {
            throw BackupError(Code::tooManyTokens);
        }
        payload.theme = json_fields::optionalString(object, "theme");
        return payload;
    } catch (const BackupError&) {
        throw;
    } catch (const std::exception&) {
        // JSONDecodingError and anything nlohmann raises on a strange document.
        throw BackupError(Code::corruptedPayload);
    }
}

Bytes WalletBackup::exportBackup(std::string_view password, Stores stores) {
    // Read as loadWalletMetadata reads it, keeping the keys other parts of the application
    // store in the record (the Bitcoin address indices) so that a restore loses none.
    Wallet wallet;
    std::map<std::string, std::string> extras;
    try {
        const std::optional<Bytes> bytes =
            stores.keychain.loadItem(KeychainManager::walletMetadataItem);
        if (!bytes) {
            throw BackupError(Code::noWalletFound);
        }
        const nlohmann::json record = json_fields::parse(
            std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        wallet = walletFromJSON(record, DateCoding::secondsSinceReferenceDate);
        extras = unknownWalletKeys(record);
    } catch (const BackupError&) {
        throw;
    } catch (const Error&) {
        throw BackupError(Code::noWalletFound);
    }
    const std::string& id = wallet.id;
    // Only the wallet's own password exports; the opened seed is dropped (and wiped) here.
    stores.keychain.loadSeed(id, password);

    Payload payload;
    payload.createdAt = Date::now();
    payload.wallet = wallet;
    payload.walletExtras = std::move(extras);
    payload.seed = requireSeedItem(stores.keychain, "seed-" + id);
    payload.salt = requireSeedItem(stores.keychain, "salt-" + id);
    // The file keeps the format's check value; the stored one is of another form.
    payload.verifier = KeychainManager::passwordCheckValue(password, payload.salt);
    // A phrase that exists but cannot be read must not vanish from the backup unnoticed.
    payload.mnemonic = stores.keychain.loadItem("mnemonic-" + id);
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        std::vector<Token> tokens = stores.tokens.tokens(chain);
        if (!tokens.empty()) {
            payload.tokens[std::string(rawValue(chain))] = std::move(tokens);
        }
    }
    payload.theme = stores.settings.string(themeKey);

    Bytes plaintext = encodePayload(payload);
    Bytes file(magic.begin(), magic.end());
    file.push_back(formatVersion);
    try {
        const Bytes salt = crypto::randomBytes(saltSize);
        const SecureBytes key = stores.keychain.deriveKey(password, salt);
        const Bytes box = crypto::chachaPolySeal(key, plaintext);
        file.insert(file.end(), salt.begin(), salt.end());
        file.insert(file.end(), box.begin(), box.end());
    } catch (const CryptoError&) {
        wipe(plaintext);
        throw BackupError(Code::decryptionFailed);
    }
    wipe(plaintext);
    return file;
}

Wallet WalletBackup::restore(ByteView file, std::string_view password, Stores stores) {
    const SealedFile sealed = readHeader(file);
    // Too short to hold a nonce and a tag: it cannot open under any password.
    if (sealed.box.size() < minimumBox) {
        throw BackupError(Code::wrongPassword);
    }
    std::optional<SecureBytes> opened;
    try {
        const SecureBytes key = stores.keychain.deriveKey(password, sealed.salt);
        opened = crypto::chachaPolyOpen(key, sealed.box);
    } catch (const CryptoError&) {
        throw BackupError(Code::decryptionFailed);
    }
    if (!opened) {
        throw BackupError(Code::wrongPassword);
    }
    const Payload payload = decodePayload(*opened);
    const Bytes expected = KeychainManager::passwordCheckValue(password, payload.salt);
    if (expected.size() != payload.verifier.size() ||
        !crypto::constantTimeEqual(expected, payload.verifier)) {
        throw BackupError(Code::wrongPassword);
    }
    const Bytes storedVerifier = checkValueOfOpeningSeed(stores.keychain, payload, password);
    const Bytes record = storedWalletRecord(payload.wallet, payload.walletExtras);
    // Written to files now, the backup would stand beside the wallet the keyring holds, which
    // would shadow it again once the keyring answers.
    if (stores.keychain.walletMayBeInLockedKeychain()) {
        throw KeychainError(KeychainError::Code::keyringLocked);
    }
    if (stores.keychain.walletInAbsentKeychain()) {
        throw KeychainError(KeychainError::Code::keyringUnavailable);
    }

    // Every check has passed. The wallet record goes last: once it names the restored
    // wallet, the restore has happened; until then a failure puts back what was replaced.
    const std::string& id = payload.wallet.id;
    {
        ItemTransaction items(stores.keychain);
        items.write("seed-" + id, payload.seed);
        items.write("salt-" + id, payload.salt);
        items.write("verify-" + id, storedVerifier);
        if (payload.mnemonic) {
            items.write("mnemonic-" + id, *payload.mnemonic);
        }
        items.write(std::string(KeychainManager::walletMetadataItem), record);
        items.commit();
    }
    stores.keychain.noteWalletPlace(id);
    // Each token joins its own chain's list; one write of the token file. A file that cannot
    // be written is logged by the store, and the tokens stay added in memory.
    std::vector<Token> tokens;
    for (const auto& [key, list] : payload.tokens) {
        tokens.insert(tokens.end(), list.begin(), list.end());
    }
    (void)stores.tokens.addAll(tokens);
    if (payload.theme) {
        stores.settings.setString(themeKey, *payload.theme);
        stores.settings.sync();
    }
    return payload.wallet;
}

Bytes WalletBackup::storedWalletRecord(const Wallet& wallet,
                                       const std::map<std::string, std::string>& extras) {
    if (extras.empty()) {
        return encodeWalletMetadata(wallet);
    }
    nlohmann::json record = walletToJSON(wallet, DateCoding::secondsSinceReferenceDate);
    addWalletExtras(record, extras);
    const std::string text = compactJSON(record);
    return Bytes(text.begin(), text.end());
}

std::string WalletBackup::defaultFileName(std::chrono::system_clock::time_point now) {
    const std::time_t time = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&time, &local);
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return std::string("Quillmark-") + date + ".qmbackup";
}

} // namespace qm
