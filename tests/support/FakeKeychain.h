#pragma once
// Keychains for tests: an in-memory one, and a wrapper that injects failures
// (a refused save, a failing read, a keychain that never answers) in front of
// any keychain, the real Secret Service included.

#include "platform/Keychain.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

// Items in memory; thread-safe (the probe runs on a worker thread).
class MemoryKeychain final : public Keychain {
public:
    void save(std::string_view service, std::string_view account, ByteView data) override;
    std::optional<Bytes> load(std::string_view service, std::string_view account) override;
    void remove(std::string_view service, std::string_view account) override;

private:
    std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, Bytes> items_;
};

class FaultyKeychain final : public Keychain {
public:
    explicit FaultyKeychain(std::shared_ptr<Keychain> inner) : inner_(std::move(inner)) {}
    ~FaultyKeychain() override { release(); }

    // Saves of these accounts fail with `code` (all accounts when the set is empty). A failing
    // save still clears the old item first, as a real one does.
    void failSaves(std::int32_t code, std::set<std::string> accounts = {});
    void failLoads(std::int32_t code);
    void failRemoves(std::int32_t code);
    // Every call waits until release(): a keychain that shows a prompt nobody answers.
    void hang();
    void release();
    // Accounts touched, in order, as "save:<account>", "load:<account>", "remove:<account>".
    std::vector<std::string> calls();

    void save(std::string_view service, std::string_view account, ByteView data) override;
    std::optional<Bytes> load(std::string_view service, std::string_view account) override;
    void remove(std::string_view service, std::string_view account) override;

private:
    // Records the call, waits while hanging, and gives the injected code for it (0: none).
    std::int32_t enter(std::string_view kind, std::string_view account, const std::int32_t& code,
                       const std::set<std::string>* only = nullptr);

    std::shared_ptr<Keychain> inner_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool hanging_ = false;
    std::int32_t saveCode_ = 0;
    std::set<std::string> saveAccounts_;
    std::int32_t loadCode_ = 0;
    std::int32_t removeCode_ = 0;
    std::vector<std::string> calls_;
};

// The keychain the tests run against: the Secret Service when the environment says one is
// up (QM_KEYCHAIN_BACKEND=secret-service), else a MemoryKeychain.
std::shared_ptr<Keychain> testKeychainBackend();
bool usingSecretService();
// Why the Secret Service run cannot happen (QM_KEYCHAIN_UNAVAILABLE); suites skip then.
std::optional<std::string> keychainUnavailableReason();

} // namespace qm::test
