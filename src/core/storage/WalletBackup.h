#pragma once
// The encrypted backup file (".qmbackup"): the wallet record, its sealed seed,
// salt, check value and sealed phrase, the custom EVM tokens and the colour
// theme, sealed once more under the password and a salt of the file's own.
//
// Layout: "QMBK" | version 1 | salt 16 | nonce 12 | ciphertext | tag 16.

#include "core/model/Date.h"
#include "core/model/Token.h"
#include "core/model/Wallet.h"
#include "platform/Bytes.h"
#include "platform/Error.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

class KeychainManager;
class TokenStore;
class Settings;

class BackupError : public Error {
public:
    enum class Code {
        invalidFile,
        unsupportedVersion,
        decryptionFailed,
        wrongPassword,
        noWalletFound,
        corruptedPayload,
        tooManyTokens,
    };
    explicit BackupError(Code code);
    Code code() const { return code_; }

private:
    Code code_;
};

struct WalletBackup {
    struct Payload {
        std::int64_t version = 1;
        Date createdAt;
        Wallet wallet;
        Bytes seed;                    // "seed-" + id as stored (sealed)
        Bytes salt;                    // "salt-" + id
        Bytes verifier;                // "verify-" + id
        std::optional<Bytes> mnemonic; // "mnemonic-" + id as stored (sealed)
        TokenMap tokens;
        std::optional<std::string> theme; // the "app_theme" user default
        // Keys of the stored record that the Wallet reader does not know (the application
        // state's own, such as the Bitcoin address indices), each with its value as compact
        // JSON. They travel inside "wallet" beside the known keys, which they never replace;
        // a value nested deeper than maxCarriedDepth is left behind.
        std::map<std::string, std::string> walletExtras;

        bool operator==(const Payload&) const = default;
    };

    // The stores a backup reads and writes (the signer hands it its own: only the program's
    // start reaches the process's keychain manager).
    struct Stores {
        KeychainManager& keychain;
        TokenStore& tokens;
        Settings& settings;
    };

    // The header's parts once magic and version are checked.
    struct SealedFile {
        ByteView salt; // 16 bytes
        ByteView box;  // nonce | ciphertext | tag (not checked for length here)
    };

    static constexpr std::string_view themeKey = "app_theme";
    // The most custom tokens a backup may carry; more is refused as tooManyTokens.
    static constexpr std::size_t maxTokens = 10'000;
    // Copying or writing JSON recurses once per level: deeper record values are not carried.
    static constexpr std::size_t maxCarriedDepth = 64;

    // The whole file for the stored wallet. Throws noWalletFound when the record or one of
    // the seed items is absent or unreadable, the seed check's KeychainError unchanged (a
    // wrong password is wrongPassword), the read error of a phrase that exists but cannot be
    // read, and decryptionFailed when the random source or sealing fails. The file's
    // "verifier" is computed from the password in the form the file format wants.
    static Bytes exportBackup(std::string_view password, Stores stores);

    // All or nothing: checks the whole file (header, password, payload, at most maxTokens
    // tokens, a seed and phrase that open under the password) before anything is written,
    // then writes the items as one journaled group (a kill leaves the old wallet or the new
    // one, which the next start finishes); a failing write puts back what the group had
    // replaced and throws it; then the marker names the restored wallet if its items are in
    // the keychain. Then adds the tokens with one write of the token file (a failure there is
    // logged by the store and the tokens stay in memory) and stores the theme. Returns the
    // restored record. Throws BackupError, the read or write error of an item, and
    // KeychainError keyringLocked or keyringUnavailable, writing nothing, while a keychain
    // that holds (or may hold) the stored wallet is locked or not running.
    static Wallet restore(ByteView file, std::string_view password, Stores stores);

    // "Quillmark-yyyy-MM-dd.qmbackup" for the local date of `now`.
    static std::string
    defaultFileName(std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

    // The reader's steps, on their own for tests and fuzzing.
    // Throws invalidFile (short, wrong magic) or unsupportedVersion.
    static SealedFile readHeader(ByteView file);
    // Throws corruptedPayload for anything but a complete payload, read strictly, with a
    // canonical wallet id; tooManyTokens for more than maxTokens tokens.
    static Payload decodePayload(ByteView json);
    // Compact JSON, dates as ISO 8601 text (a fraction of a second only when the date has
    // one), byte strings as padded standard Base64.
    static Bytes encodePayload(const Payload& payload);
    // The "wallet-metadata" item a restore writes: the record's own encoding, with the
    // carried keys beside the known ones when there are any.
    static Bytes storedWalletRecord(const Wallet& wallet,
                                    const std::map<std::string, std::string>& extras);
};

} // namespace qm
