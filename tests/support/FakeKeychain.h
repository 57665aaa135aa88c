#pragma once
// Keychains for tests: an in-memory one, and a wrapper that injects failures in front of any.

#include "platform/Keychain.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qm::test {

// Items in memory; thread-safe (the probe runs on a worker thread).
class MemoryKeychain final : public Keychain {
public:
    void save(std::string_view service, std::string_view account, ByteView data) override;
    std::optional<Bytes> load(std::string_view service, std::string_view account) override;
    void remove(std::string_view service, std::string_view account) override;
    std::vector<std::string> accounts(std::string_view service) override;

private:
    std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, Bytes> items_;
};

// Items as files in a folder, each written atomically: a keychain whose items outlive a
// forked process that a test kills. Names with a path separator are refused.
class DirectoryKeychain final : public Keychain {
public:
    explicit DirectoryKeychain(std::filesystem::path folder);
    void save(std::string_view service, std::string_view account, ByteView data) override;
    std::optional<Bytes> load(std::string_view service, std::string_view account) override;
    void remove(std::string_view service, std::string_view account) override;
    std::vector<std::string> accounts(std::string_view service) override;

private:
    std::filesystem::path file(std::string_view service, std::string_view account) const;

    std::filesystem::path folder_;
};

class FaultyKeychain final : public Keychain {
public:
    explicit FaultyKeychain(std::shared_ptr<Keychain> inner) : inner_(std::move(inner)) {}
    ~FaultyKeychain() override { release(); }

    // Later calls fail with `code` (0: none); saves only of `accounts` unless it is empty.
    // A failing save still clears the old item first, as a real one does.
    void failSaves(std::int32_t code, std::set<std::string> accounts = {});
    void failLoads(std::int32_t code) { loadCode_ = code; }
    // Once `account` has next been saved, loads fail with `code`: a keyring that locks then.
    void failLoadsAfterSaving(std::string account, std::int32_t code);
    void failRemoves(std::int32_t code) { removeCode_ = code; }
    // A keyring that is locked: probes say so, searches still see the inner items, and
    // every save, load and remove fails with KeychainLockedError (nothing may touch it
    // without a prompt).
    void setLocked(bool locked) { locked_ = locked; }
    // No Secret Service at all (the keyring daemon is not running): probes say absent,
    // searches cannot tell, the prompt fails and every other call fails.
    void setAbsent(bool absent) { absent_ = absent; }
    // The unlock prompt: it waits for answerPrompt() (or the caller's stop); a yes unlocks.
    KeychainUnlock unlock(std::stop_token stop) override;
    void answerPrompt(bool unlocks);
    // Whether a prompt waits for its answer now.
    bool promptOpen();
    // A thread that gives the next prompt this answer once it is open (a user at the
    // keyboard while the test awaits what asked for it).
    std::jthread answerWhenPrompted(bool unlocks);
    // Every call waits until release(): a keychain that shows a prompt nobody answers.
    // Probes and searches wait at most their time-out.
    void hang();
    void release();
    // Accounts touched, in order, as "save:<account>", "load:<account>", "remove:<account>".
    std::vector<std::string> calls();
    // The thread of each of those calls, in the same order.
    std::vector<std::thread::id> callThreads();

    void save(std::string_view service, std::string_view account, ByteView data) override;
    std::optional<Bytes> load(std::string_view service, std::string_view account) override;
    void remove(std::string_view service, std::string_view account) override;
    KeychainStatus probe(std::chrono::milliseconds timeout) override;
    std::optional<bool> holdsItem(std::string_view service, std::string_view account,
                                  std::chrono::milliseconds timeout) override;
    std::optional<bool> holdsAnyItem(std::string_view service,
                                     std::chrono::milliseconds timeout) override;
    // Lists fail while the keyring is locked or loads fail.
    std::vector<std::string> accounts(std::string_view service) override;

private:
    // Records the call and waits while hanging, at most `timeout`; false when still hanging.
    bool enterTimed(std::string_view kind, std::chrono::milliseconds timeout);
    // Records the call, waits while hanging, and gives the injected code for it.
    std::int32_t enter(std::string_view kind, std::string_view account,
                       const std::atomic<std::int32_t>& code,
                       const std::set<std::string>* only = nullptr);

    std::shared_ptr<Keychain> inner_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool hanging_ = false;
    std::set<std::string> saveAccounts_;
    std::string lockingAccount_;
    std::int32_t lockingCode_ = 0;
    std::atomic<std::int32_t> saveCode_ = 0, loadCode_ = 0, removeCode_ = 0;
    std::atomic<bool> locked_ = false;
    std::atomic<bool> absent_ = false;
    std::condition_variable_any answered_;
    std::condition_variable_any promptShown_;
    std::optional<bool> answer_;
    bool promptOpen_ = false;
    std::vector<std::string> calls_;
    std::vector<std::thread::id> callThreads_;
};

// The keychain the tests run against: the Secret Service when the environment says one is
// up (QM_KEYCHAIN_BACKEND=secret-service), else a MemoryKeychain.
std::shared_ptr<Keychain> testKeychainBackend();
// Why the Secret Service run cannot happen (QM_KEYCHAIN_UNAVAILABLE); suites skip then.
std::optional<std::string> keychainUnavailableReason();

} // namespace qm::test
