#include "FakeKeychain.h"

#include "platform/AtomicFile.h"

#include <cstdlib>

namespace qm::test {

void MemoryKeychain::save(std::string_view service, std::string_view account, ByteView data) {
    std::lock_guard lock(mutex_);
    items_[{std::string(service), std::string(account)}] = Bytes(data.begin(), data.end());
}

std::optional<Bytes> MemoryKeychain::load(std::string_view service, std::string_view account) {
    std::lock_guard lock(mutex_);
    const auto found = items_.find({std::string(service), std::string(account)});
    if (found == items_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void MemoryKeychain::remove(std::string_view service, std::string_view account) {
    std::lock_guard lock(mutex_);
    items_.erase({std::string(service), std::string(account)});
}

std::vector<std::string> MemoryKeychain::accounts(std::string_view service) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [key, value] : items_) {
        if (key.first == service) {
            names.push_back(key.second);
        }
    }
    return names;
}

DirectoryKeychain::DirectoryKeychain(std::filesystem::path folder) : folder_(std::move(folder)) {
    ensureDirectory(folder_);
}

std::filesystem::path DirectoryKeychain::file(std::string_view service,
                                              std::string_view account) const {
    const std::string name = std::string(service) + "#" + std::string(account);
    if (name.find('/') != std::string::npos) {
        throw KeychainBackendError(-1, "no such name");
    }
    return folder_ / name;
}

void DirectoryKeychain::save(std::string_view service, std::string_view account, ByteView data) {
    writeFileAtomically(file(service, account), data);
}

std::optional<Bytes> DirectoryKeychain::load(std::string_view service, std::string_view account) {
    return readFileIfExists(file(service, account));
}

void DirectoryKeychain::remove(std::string_view service, std::string_view account) {
    removeFileIfExists(file(service, account));
}

std::vector<std::string> DirectoryKeychain::accounts(std::string_view service) {
    const std::string prefix = std::string(service) + "#";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix)) {
            names.push_back(name.substr(prefix.size()));
        }
    }
    return names;
}

void FaultyKeychain::failSaves(std::int32_t code, std::set<std::string> accounts) {
    std::lock_guard lock(mutex_);
    saveCode_ = code;
    saveAccounts_ = std::move(accounts);
}

void FaultyKeychain::failLoadsAfterSaving(std::string account, std::int32_t code) {
    std::lock_guard lock(mutex_);
    lockingAccount_ = std::move(account);
    lockingCode_ = code;
}

void FaultyKeychain::hang() {
    std::lock_guard lock(mutex_);
    hanging_ = true;
}

void FaultyKeychain::release() {
    {
        std::lock_guard lock(mutex_);
        hanging_ = false;
    }
    released_.notify_all();
}

std::vector<std::string> FaultyKeychain::calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::thread::id> FaultyKeychain::callThreads() {
    std::lock_guard lock(mutex_);
    return callThreads_;
}

std::int32_t FaultyKeychain::enter(std::string_view kind, std::string_view account,
                                   const std::atomic<std::int32_t>& code,
                                   const std::set<std::string>* only) {
    std::unique_lock lock(mutex_);
    calls_.push_back(std::string(kind) + ":" + std::string(account));
    callThreads_.push_back(std::this_thread::get_id());
    released_.wait(lock, [this] { return !hanging_; });
    if (absent_) {
        throw KeychainBackendError(-1, "no Secret Service");
    }
    if (locked_) {
        throw KeychainLockedError("injected: the keyring is locked");
    }
    const bool applies = only == nullptr || only->empty() || only->count(std::string(account)) != 0;
    return applies ? code.load() : 0;
}

bool FaultyKeychain::enterTimed(std::string_view kind, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    calls_.push_back(std::string(kind));
    return released_.wait_for(lock, timeout, [this] { return !hanging_; });
}

KeychainStatus FaultyKeychain::probe(std::chrono::milliseconds timeout) {
    if (!enterTimed("probe", timeout) || locked_) {
        return absent_ ? KeychainStatus::absent : KeychainStatus::locked;
    }
    if (absent_) {
        return KeychainStatus::absent;
    }
    return Keychain::probe(timeout); // through this keychain's injected failures
}

KeychainUnlock FaultyKeychain::unlock(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    calls_.push_back("unlock");
    if (absent_) {
        return KeychainUnlock::failed;
    }
    if (!locked_) {
        return KeychainUnlock::unlocked;
    }
    promptOpen_ = true;
    answer_.reset();
    promptShown_.notify_all();
    const bool answered = answered_.wait(lock, stop, [this] { return answer_.has_value(); });
    promptOpen_ = false;
    if (!answered) {
        return KeychainUnlock::dismissed;
    }
    const bool unlocks = *answer_;
    answer_.reset();
    if (unlocks) {
        locked_ = false;
    }
    return unlocks ? KeychainUnlock::unlocked : KeychainUnlock::dismissed;
}

void FaultyKeychain::answerPrompt(bool unlocks) {
    {
        std::lock_guard lock(mutex_);
        answer_ = unlocks;
    }
    answered_.notify_all();
}

std::jthread FaultyKeychain::answerWhenPrompted(bool unlocks) {
    return std::jthread([this, unlocks](std::stop_token stop) {
        {
            std::unique_lock lock(mutex_);
            if (!promptShown_.wait(lock, stop, [this] { return promptOpen_ && !answer_; })) {
                return;
            }
            answer_ = unlocks;
        }
        answered_.notify_all();
    });
}

bool FaultyKeychain::promptOpen() {
    std::lock_guard lock(mutex_);
    return promptOpen_;
}

std::optional<bool> FaultyKeychain::holdsItem(std::string_view service, std::string_view account,
                                              std::chrono::milliseconds timeout) {
    if (!enterTimed("search", timeout) || absent_) {
        return std::nullopt;
    }
    // A real keyring searches without unlocking; the memory one only loads.
    if (const std::optional<bool> held = inner_->holdsItem(service, account, timeout)) {
        return held;
    }
    return inner_->load(service, account).has_value();
}

std::optional<bool> FaultyKeychain::holdsAnyItem(std::string_view service,
                                                 std::chrono::milliseconds timeout) {
    if (!enterTimed("search", timeout) || absent_) {
        return std::nullopt;
    }
    return !inner_->accounts(service).empty();
}

std::vector<std::string> FaultyKeychain::accounts(std::string_view service) {
    if (const std::int32_t code = enter("list", service, loadCode_)) {
        throw KeychainBackendError(code, "injected list failure");
    }
    return inner_->accounts(service);
}

void FaultyKeychain::save(std::string_view service, std::string_view account, ByteView data) {
    if (const std::int32_t code = enter("save", account, saveCode_, &saveAccounts_)) {
        inner_->remove(service, account);
        throw KeychainBackendError(code, "injected save failure");
    }
    inner_->save(service, account, data);
    std::lock_guard lock(mutex_);
    if (!lockingAccount_.empty() && account == lockingAccount_) {
        loadCode_ = lockingCode_;
        lockingAccount_.clear();
    }
}

std::optional<Bytes> FaultyKeychain::load(std::string_view service, std::string_view account) {
    if (const std::int32_t code = enter("load", account, loadCode_)) {
        throw KeychainBackendError(code, "injected load failure");
    }
    return inner_->load(service, account);
}

void FaultyKeychain::remove(std::string_view service, std::string_view account) {
    if (const std::int32_t code = enter("remove", account, removeCode_)) {
        throw KeychainBackendError(code, "injected delete failure");
    }
    inner_->remove(service, account);
}

std::optional<std::string> keychainUnavailableReason() {
    const char* reason = std::getenv("QM_KEYCHAIN_UNAVAILABLE");
    return reason ? std::optional<std::string>(reason) : std::nullopt;
}

std::shared_ptr<Keychain> testKeychainBackend() {
    const char* backend = std::getenv("QM_KEYCHAIN_BACKEND");
    if (backend != nullptr && std::string_view(backend) == "secret-service") {
        return std::make_shared<SecretServiceKeychain>();
    }
    return std::make_shared<MemoryKeychain>();
}

} // namespace qm::test
