// A power cut must never leave an empty or partial seed, token or record file: every stored
// file is synced to the disk before it is renamed over the old one, and the folder is synced
// after the rename (else the rename itself may be lost). This executable is linked with
// fsync and rename wrapped (tests/CMakeLists.txt), so the real calls of the real writes are
// recorded in the order they reach the system.
#include "core/model/Wallet.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "platform/AtomicFile.h"
#include "platform/Crypto.h"

#include <QTemporaryDir>
#include <climits>
#include <cstdio>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct SystemCall {
    std::string name;   // "fsync" or "rename"
    std::string path;   // what was synced, or the rename's source
    std::string target; // the rename's target
};

std::mutex callsMutex;
bool recording = false;
std::vector<SystemCall> recorded;

std::string pathOfDescriptor(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[PATH_MAX];
    const ssize_t length = ::readlink(link, path, sizeof path - 1);
    return length < 0 ? std::string() : std::string(path, static_cast<std::size_t>(length));
}

void record(SystemCall call) {
    const std::lock_guard lock(callsMutex);
    if (recording) {
        recorded.push_back(std::move(call));
    }
}

} // namespace

extern "C" {
int __real_fsync(int fd);
int __real_rename(const char* from, const char* to);

int __wrap_fsync(int fd) {
    // Named before the call: the descriptor is the file as it is synced.
    SystemCall call{"fsync", pathOfDescriptor(fd), {}};
    const int result = __real_fsync(fd);
    if (result == 0) {
        record(std::move(call));
    }
    return result;
}

int __wrap_rename(const char* from, const char* to) {
    const int result = __real_rename(from, to);
    if (result == 0) {
        record({"rename", from, to});
    }
    return result;
}
}

namespace qm {
namespace {

namespace fs = std::filesystem;

// The calls of the writes `write` makes, with every path made canonical.
template <typename F> std::vector<SystemCall> callsOf(F&& write) {
    {
        const std::lock_guard lock(callsMutex);
        recorded.clear();
        recording = true;
    }
    write();
    const std::lock_guard lock(callsMutex);
    recording = false;
    std::vector<SystemCall> calls = recorded;
    for (SystemCall& call : calls) {
        call.path = fs::weakly_canonical(call.path).string();
        if (!call.target.empty()) {
            call.target = fs::weakly_canonical(call.target).string();
        }
    }
    return calls;
}

// Whether `file` was put in place as a power cut cannot undo: its new content synced under
// the temporary name, then renamed over it, then its folder synced; the last such write of
// the file counts.
::testing::AssertionResult syncedInPlace(const std::vector<SystemCall>& calls,
                                         const fs::path& file) {
    const std::string target = fs::weakly_canonical(file).string();
    const std::string folder = fs::weakly_canonical(file.parent_path()).string();
    std::size_t renamed = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].name == "rename" && calls[i].target == target) {
            renamed = i;
        }
    }
    if (renamed == calls.size()) {
        return ::testing::AssertionFailure() << file << " was never renamed into place";
    }
    const std::string& temporary = calls[renamed].path;
    bool syncedBefore = false;
    for (std::size_t i = 0; i < renamed; ++i) {
        syncedBefore = syncedBefore || (calls[i].name == "fsync" && calls[i].path == temporary);
    }
    if (!syncedBefore) {
        return ::testing::AssertionFailure()
               << file << " was renamed from " << temporary << " before that file was synced";
    }
    for (std::size_t i = renamed + 1; i < calls.size(); ++i) {
        if (calls[i].name == "fsync" && calls[i].path == folder) {
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure()
           << "the folder of " << file << " was not synced after the rename";
}

class SyncedWrites : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    const fs::path root_ = dir_.path().toStdString();
    const fs::path folder_ = root_ / "Quillmark";
};

TEST_F(SyncedWrites, EveryStoredFileIsSyncedBeforeItsRenameAndItsFolderAfter) {
    ensureDirectory(folder_);
    const fs::path plain = folder_ / "item";
    EXPECT_TRUE(syncedInPlace(callsOf([&] { writeFileAtomically(plain, Bytes{1, 2, 3}); }), plain));
    // Over an older file too: the old one must stay whole until the new one is on the disk.
    EXPECT_TRUE(syncedInPlace(callsOf([&] { writeFileAtomically(plain, Bytes{4}); }), plain));

    // The wallet's items when there is no keychain: the sealed seed, its salt and check value,
    // the phrase, and the wallet record.
    KeychainManager keychain(KeychainManager::Config{nullptr, root_, std::chrono::seconds(5), {}});
    ASSERT_TRUE(keychain.useFileFallback());
    const std::string id = newWalletID();
    const std::vector<std::string> words = {"legal", "winner",  "thank", "year",
                                            "wave",  "sausage", "worth", "useful",
                                            "legal", "winner",  "thank", "yellow"};
    const std::vector<SystemCall> creating = callsOf([&] {
        keychain.storeNewWallet(crypto::randomBytes(64), words, id, "a password", Bytes{'{', '}'});
    });
    for (const std::string& name :
         std::vector<std::string>{"seed-" + id, "salt-" + id, "verify-" + id, "mnemonic-" + id,
                                  std::string(KeychainManager::walletMetadataItem)}) {
        EXPECT_TRUE(syncedInPlace(creating, keychain.storageDir() / name));
    }

    // The custom tokens.
    TokenStore tokens(folder_ / "tokens.json");
    EXPECT_TRUE(syncedInPlace(callsOf([&] {
                                  (void)tokens.add(
                                      Token{"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC",
                                            "USD Coin", 6, Chain::ethereum});
                              }),
                              folder_ / "tokens.json"));
}

} // namespace
} // namespace qm
