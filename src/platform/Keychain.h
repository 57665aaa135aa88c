#pragma once
// The desktop keychain: generic secrets filed under a service and an account
// name. The Secret Service implementation talks to the desktop's keyring over
// D-Bus (libsecret); tests put a fake of their own behind the same interface.

#include "platform/Bytes.h"
#include "platform/Error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

class Keychain {
public:
    virtual ~Keychain() = default;

    // Replaces the item: clears any old one, then stores `data`. Throws KeychainBackendError.
    virtual void save(std::string_view service, std::string_view account, ByteView data) = 0;
    // The item's bytes; absent when there is no such item. Throws KeychainBackendError.
    virtual std::optional<Bytes> load(std::string_view service, std::string_view account) = 0;
    // Removes the item; an absent item counts as removed. Throws KeychainBackendError.
    virtual void remove(std::string_view service, std::string_view account) = 0;
};

// The Secret Service (gnome-keyring, KWallet ...) through libsecret. Items are binary
// secrets (they may hold 0x00 bytes) in the default collection, with the attributes
// "service" and "account". Every call blocks until the service answers.
class SecretServiceKeychain final : public Keychain {
public:
    void save(std::string_view service, std::string_view account, ByteView data) override;
    std::optional<Bytes> load(std::string_view service, std::string_view account) override;
    void remove(std::string_view service, std::string_view account) override;
};

} // namespace qm
