#pragma once
// The desktop keychain: generic secrets filed under a service and an account
// name. The Secret Service implementation talks to the desktop's keyring over
// D-Bus (libsecret); tests put a fake of their own behind the same interface.

#include "platform/Bytes.h"
#include "platform/Error.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A keychain call that failed; `code` is the backend's own error code (never 0).
class KeychainBackendError : public Error {
public:
    KeychainBackendError(std::int32_t code, std::string what)
        : Error(std::move(what)), code_(code) {}
    std::int32_t code() const { return code_; }

private:
    std::int32_t code_;
};

// The item, or the collection it goes to, is locked: the call needs the keyring unlocked
// first (a prompt the user dismissed, or none asked for), which a plain failure would hide.
class KeychainLockedError : public KeychainBackendError {
public:
    explicit KeychainLockedError(std::string what)
        : KeychainBackendError(lockedCode, std::move(what)) {}
    // The Secret Service's own "is locked" code.
    static constexpr std::int32_t lockedCode = 2;
};

// What a probe found. `usable`: items can be stored and read now, without a prompt.
// `locked`: the keychain is there but locked, refuses, or did not answer in time; it may hold
// items. `absent`: no keychain service, or no default collection to store items in.
enum class KeychainStatus { usable, locked, absent };

// How the keychain's own unlock prompt ended: unlocked (or nothing was locked), dismissed by
// the user (or by the caller's stop), or failed (no keychain, no prompt could be shown).
enum class KeychainUnlock { unlocked, dismissed, failed };

class Keychain {
public:
    static constexpr std::string_view probeService = "com.quillmark.wallet.probe";
    static constexpr std::string_view probeAccount = "probe-bio";

    virtual ~Keychain() = default;

    // Finds out, within about `timeout`, whether items can be stored without a prompt. Never
    // creates a collection, never leaves a prompt or a thread behind. The default stores and
    // clears the probe item ("com.quillmark.wallet.probe" / "probe-bio"): for keychains that
    // never prompt; a failing store counts as locked.
    virtual KeychainStatus probe(std::chrono::milliseconds timeout);
    // Whether the item exists, asked without unlocking anything (the keychain may be locked);
    // nothing when the keychain cannot tell. The default cannot tell.
    virtual std::optional<bool> holdsItem(std::string_view service, std::string_view account,
                                          std::chrono::milliseconds timeout);
    // Unlocks the collection items are stored in through the keychain's own prompt (the
    // desktop asks for the keyring's password) and waits for the user's answer, however long
    // it takes; `stop` dismisses a prompt still open. Safe on any thread. The default has
    // nothing to unlock.
    virtual KeychainUnlock unlock(std::stop_token stop);
    // Whether any item is filed under `service`, asked the same way; the default cannot tell.
    virtual std::optional<bool> holdsAnyItem(std::string_view service,
                                             std::chrono::milliseconds timeout);
    // The account names of every item filed under `service`. Throws KeychainBackendError, and
    // KeychainLockedError when some of them are locked (their names may be hidden).
    virtual std::vector<std::string> accounts(std::string_view service) = 0;

    // Replaces the item: clears any old one, then stores `data`. Throws KeychainBackendError
    // (KeychainLockedError when the keyring is locked).
    virtual void save(std::string_view service, std::string_view account, ByteView data) = 0;
    // The item's bytes; absent when there is no such item. Throws KeychainBackendError, and
    // KeychainLockedError for an item that is there but locked: it is not absent.
    virtual std::optional<Bytes> load(std::string_view service, std::string_view account) = 0;
    // Removes the item; an absent item counts as removed. Throws KeychainBackendError, and
    // KeychainLockedError when the item stays because it is locked.
    virtual void remove(std::string_view service, std::string_view account) = 0;
};

// The Secret Service (gnome-keyring, KWallet ...) through libsecret. Items are binary
// secrets (they may hold 0x00 bytes) in the default collection, with the attributes
// "service" and "account". Every call blocks until the service answers.
class SecretServiceKeychain final : public Keychain {
public:
    // Looks at the default collection without creating it: none means absent, a locked one
    // locked; in an unlocked one the probe item is stored and cleared (no prompt there).
    KeychainStatus probe(std::chrono::milliseconds timeout) override;
    // Searches the item's attributes, which a locked collection still shows.
    std::optional<bool> holdsItem(std::string_view service, std::string_view account,
                                  std::chrono::milliseconds timeout) override;
    // The Secret Service's Unlock of the default collection, with its prompt.
    KeychainUnlock unlock(std::stop_token stop) override;
    std::optional<bool> holdsAnyItem(std::string_view service,
                                     std::chrono::milliseconds timeout) override;
    std::vector<std::string> accounts(std::string_view service) override;
    void save(std::string_view service, std::string_view account, ByteView data) override;
    std::optional<Bytes> load(std::string_view service, std::string_view account) override;
    void remove(std::string_view service, std::string_view account) override;
};

} // namespace qm
