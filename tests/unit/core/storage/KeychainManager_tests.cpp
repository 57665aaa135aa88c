#include "FakeKeychain.h"
#include "TestHex.h"
#include "core/storage/KeychainManager.h"
#include "platform/AtomicFile.h"
#include "platform/Crypto.h"

#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace qm {
namespace {

using test::FaultyKeychain;
using Code = KeychainError::Code;

const std::vector<std::string> twelveWords = {"abandon", "ability", "able",   "about",
                                              "above",   "absent",  "absorb", "abstract",
                                              "absurd",  "abuse",   "access", "accident"};

unsigned modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

template <typename F> Code keychainFailure(F&& call) {
    try {
        call();
    } catch (const KeychainError& error) {
        return error.code();
    }
    ADD_FAILURE() << "no KeychainError";
    return Code::biometricFailed;
}

// Runs against the backend the environment names (memory or Secret Service), behind a fault
// injector.
class KeychainManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto reason = test::keychainUnavailableReason()) {
            GTEST_SKIP() << "Secret Service unavailable: " << *reason;
        }
        ASSERT_TRUE(dir_.isValid());
        root_ = dir_.path().toStdString();
        backend_ = test::testKeychainBackend();
        keychain_ = std::make_shared<FaultyKeychain>(backend_);
    }

    void TearDown() override {
        if (!keychain_) {
            return;
        }
        keychain_->release();
        for (const std::string& id : ids_) {
            for (const char* prefix : {"salt-", "seed-", "verify-", "mnemonic-"}) {
                backend_->remove("com.quillmark.wallet", prefix + id);
            }
        }
        backend_->remove("com.quillmark.wallet", "wallet-metadata");
    }

    std::unique_ptr<KeychainManager>
    make(std::shared_ptr<Keychain> keychain, KeychainManager::KeyDerivation derive = {},
         std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return std::make_unique<KeychainManager>(
            KeychainManager::Config{std::move(keychain), root_, timeout, std::move(derive)});
    }
    std::unique_ptr<KeychainManager> make() { return make(keychain_); }

    std::string newID() {
        ids_.push_back(newWalletID());
        return ids_.back();
    }
    std::optional<Bytes> stored(const std::string& name) {
        return backend_->load("com.quillmark.wallet", name);
    }
    std::filesystem::path file(const std::string& name) { return root_ / "Quillmark" / name; }

    QTemporaryDir dir_;
    std::filesystem::path root_;
    std::shared_ptr<Keychain> backend_;
    std::shared_ptr<FaultyKeychain> keychain_;
    std::vector<std::string> ids_;
    const Bytes seed_ = crypto::randomBytes(64);
};

TEST_F(KeychainManagerTest, ProbeChoosesTheKeychainOnlyWhenItAnswersInTime) {
    // A probe item left by an earlier run does not matter, and none stays behind.
    backend_->save("com.quillmark.wallet.probe", "probe-bio", Bytes{0x42});
    auto manager = make();
    EXPECT_FALSE(manager->useFileFallback());
    EXPECT_FALSE(backend_->load("com.quillmark.wallet.probe", "probe-bio"));

    // A refused probe, no keychain at all, or a keychain that never answers: files.
    keychain_->failSaves(-25308);
    EXPECT_TRUE(make()->useFileFallback());
    EXPECT_TRUE(make(nullptr)->useFileFallback());
    keychain_->failSaves(0);
    keychain_->hang();
    auto stuck = make(keychain_, {}, std::chrono::milliseconds(200));
    EXPECT_TRUE(stuck->useFileFallback());
    // Nothing of this process is asked of a keychain that failed the probe.
    const std::string id = newID();
    stuck->storeSeed(seed_, id, "pw");
    EXPECT_EQ(stuck->loadSeed(id, "pw"), SecureBytes(seed_));
    keychain_->release();
}

TEST_F(KeychainManagerTest, StoresTheSeedAndPhraseInOneMediumWithPrivateModes) {
    for (const bool files : {false, true}) {
        SCOPED_TRACE(files ? "file mode" : "keychain mode");
        if (files) {
            keychain_->failSaves(-1, {"probe-bio"});
        }
        // Modes come from the code, not from the umask.
        const mode_t oldMask = ::umask(0);
        auto manager = make();
        ASSERT_EQ(manager->useFileFallback(), files);
        const std::string id = newID();
        manager->storeSeed(seed_, id, "correct horse");
        manager->storeMnemonic(twelveWords, id, "correct horse");
        ::umask(oldMask);

        const auto read = [&](const std::string& name) {
            return files ? readFileIfExists(file(name)) : stored(name);
        };
        // The sealed items travel verbatim in a backup, where tests/peers/qmbackup.py opens
        // them independently; here each item is in one medium only.
        EXPECT_EQ(files ? stored("seed-" + id) : readFileIfExists(file("seed-" + id)),
                  std::nullopt);
        if (files) {
            EXPECT_EQ(modeOf(file("seed-" + id)), 0600u);
            EXPECT_EQ(modeOf(file("mnemonic-" + id)), 0600u);
            EXPECT_EQ(modeOf(manager->storageDir()), 0700u);
        }

        EXPECT_EQ(manager->loadSeed(id, "correct horse"), SecureBytes(seed_));
        EXPECT_EQ(manager->loadMnemonic(id, "correct horse"), twelveWords);

        // The empty password is a password like any other.
        const std::string other = newID();
        manager->storeSeed(seed_, other, "");
        EXPECT_EQ(read("verify-" + other).value(), crypto::sha256(read("salt-" + other).value()));
        EXPECT_EQ(manager->loadSeed(other, ""), SecureBytes(seed_));
    }
}

TEST_F(KeychainManagerTest, WrongPasswordsDamageMissingItemsAndFailedDerivation) {
    std::atomic<int> derivations = 0;
    auto manager = make(keychain_, [&](ByteView password, ByteView salt) {
        ++derivations;
        return crypto::pbkdf2HmacSha512(password, salt, 100'000, 32);
    });
    const std::string id = newID();
    manager->storeSeed(seed_, id, "pw");
    manager->storeMnemonic(twelveWords, id, "pw");

    // A wrong password is found by the check value alone, without a derivation.
    derivations = 0;
    EXPECT_EQ(keychainFailure([&] { manager->loadSeed(id, "pW"); }), Code::wrongPassword);
    EXPECT_EQ(keychainFailure([&] { manager->loadMnemonic(id, "pw "); }), Code::wrongPassword);
    EXPECT_EQ(derivations, 0);

    // A damaged sealed item does not open.
    Bytes sealed = manager->loadItem("seed-" + id).value();
    sealed.back() ^= 0x01;
    manager->storeItem("seed-" + id, sealed);
    EXPECT_EQ(keychainFailure([&] { manager->loadSeed(id, "pw"); }), Code::decryptionFailed);

    // Missing items, and a phrase without its salt.
    manager->deleteItem("verify-" + id);
    EXPECT_EQ(keychainFailure([&] { manager->loadSeed(id, "pw"); }), Code::itemNotFound);
    EXPECT_EQ(keychainFailure([&] { manager->storeMnemonic(twelveWords, newID(), "pw"); }),
              Code::itemNotFound);

    // A failed derivation is an error, never a silent key.
    auto failing = make(keychain_, [](ByteView, ByteView) -> SecureBytes {
        throw CryptoError(CryptoError::Code::openSSLFailure, "PKCS5_PBKDF2_HMAC failed");
    });
    const std::string other = newID();
    EXPECT_EQ(keychainFailure([&] { failing->storeSeed(seed_, other, "pw"); }),
              Code::encryptionFailed);
    EXPECT_FALSE(failing->hasSeed(other));
    manager->storeSeed(seed_, other, "pw");
    EXPECT_EQ(keychainFailure([&] { failing->loadSeed(other, "pw"); }), Code::decryptionFailed);
    EXPECT_EQ(keychainFailure([&] { failing->storeMnemonic(twelveWords, other, "pw"); }),
              Code::encryptionFailed);
}

TEST_F(KeychainManagerTest, AFailingSaveTurnsTheProcessToFilesWithTheSeedItemsAsAGroup) {
    auto manager = make();
    ASSERT_FALSE(manager->useFileFallback());
    const std::string early = newID();
    manager->storeSeed(seed_, early, "pw");
    manager->storeItem("wallet-metadata", utf8View("{\"old\":1}"));

    const std::string id = newID();
    keychain_->failSaves(-25293, {"seed-" + id});
    manager->storeSeed(seed_, id, "pw");
    EXPECT_TRUE(manager->useFileFallback());
    const auto calls = keychain_->calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "save:salt-" + id), calls.end());
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "save:verify-" + id), calls.end());
    for (const char* prefix : {"salt-", "seed-", "verify-"}) {
        EXPECT_TRUE(readFileIfExists(file(prefix + id))) << prefix;
        EXPECT_FALSE(stored(prefix + id)) << prefix;
    }
    // From now on every write goes to files, and the keychain copy is not left to shadow it.
    keychain_->failSaves(0);
    manager->storeMnemonic(twelveWords, id, "pw");
    EXPECT_TRUE(readFileIfExists(file("mnemonic-" + id)));
    manager->storeItem("wallet-metadata", utf8View("{\"new\":2}"));
    EXPECT_FALSE(stored("wallet-metadata"));

    // The next start finds the keychain working again; the files are still read.
    auto next = make();
    ASSERT_FALSE(next->useFileFallback());
    EXPECT_EQ(next->loadSeed(id, "pw"), SecureBytes(seed_));
    EXPECT_EQ(next->loadMnemonic(id, "pw"), twelveWords);
    EXPECT_EQ(next->loadItem("wallet-metadata").value(), test::ascii("{\"new\":2}"));
    EXPECT_EQ(next->loadSeed(early, "pw"), SecureBytes(seed_)); // written before the switch
    // A keychain write replaces the file copy.
    next->storeItem("wallet-metadata", utf8View("{\"newest\":3}"));
    EXPECT_FALSE(readFileIfExists(file("wallet-metadata")));
}

TEST_F(KeychainManagerTest, DeletingAWalletRemovesEveryItemAndReportsRealFailures) {
    for (const bool files : {false, true}) {
        SCOPED_TRACE(files ? "file mode" : "keychain mode");
        keychain_->failSaves(files ? -1 : 0, {"probe-bio"});
        auto manager = make();
        const std::string id = newID();
        manager->storeSeed(seed_, id, "pw");
        manager->storeMnemonic(twelveWords, id, "pw");
        manager->deleteWallet(id);
        for (const char* prefix : {"salt-", "seed-", "verify-", "mnemonic-"}) {
            EXPECT_FALSE(manager->loadItem(prefix + id)) << prefix;
        }
        EXPECT_EQ(keychainFailure([&] { manager->loadMnemonic(id, "pw"); }), Code::itemNotFound);
        // Already gone is fine.
        EXPECT_NO_THROW(manager->deleteWallet(id));
    }
    keychain_->failSaves(0);

    // Keychain mode: the first failure stops with its code.
    auto manager = make();
    const std::string id = newID();
    manager->storeSeed(seed_, id, "pw");
    keychain_->failRemoves(-25244);
    try {
        manager->deleteWallet(id);
        ADD_FAILURE() << "delete succeeded";
    } catch (const KeychainError& error) {
        EXPECT_EQ(error.code(), Code::deleteFailed);
        EXPECT_EQ(error.status(), -25244);
    }
    EXPECT_TRUE(manager->hasSeed(id));
    keychain_->failRemoves(0);

    // File mode: a removal that fails for a reason other than absence is reported.
    auto files = make(nullptr);
    const std::string other = newID();
    files->storeSeed(seed_, other, "pw");
    std::filesystem::remove(file("seed-" + other));
    std::filesystem::create_directories(file("seed-" + other) / "blocker");
    EXPECT_THROW(files->deleteWallet(other), FileError);
}

TEST_F(KeychainManagerTest, AnUnreadableItemIsNotAnAbsentOne) {
    auto manager = make();
    const std::string id = newID();
    manager->storeSeed(seed_, id, "pw");
    Wallet wallet{id, "Quillmark", Date::fromUnixTime(1738315800.25), 1, 1, 7};
    manager->storeItem("wallet-metadata", encodeWalletMetadata(wallet));
    EXPECT_EQ(manager->loadWalletMetadata(), wallet);

    // A locked keyring: the read fails, and the callers hear so.
    keychain_->failLoads(-128);
    EXPECT_EQ(keychainFailure([&] { manager->hasSeed(id); }), Code::loadFailed);
    EXPECT_EQ(keychainFailure([&] { manager->loadWalletMetadata(); }), Code::loadFailed);
    EXPECT_EQ(keychainFailure([&] { manager->loadSeed(id, "pw"); }), Code::loadFailed);
    keychain_->failLoads(0);

    // A record that does not decode reads as none.
    manager->storeItem("wallet-metadata", utf8View("{not json"));
    EXPECT_EQ(manager->loadWalletMetadata(), std::nullopt);

    // File mode: a file that cannot be read is an error too.
    auto files = make(nullptr);
    std::filesystem::create_directories(file("wallet-metadata"));
    std::filesystem::create_directories(file("seed-" + id));
    EXPECT_THROW(files->loadWalletMetadata(), FileError);
    EXPECT_THROW(files->hasSeed(id), FileError);
}

TEST_F(KeychainManagerTest, AnOlderFolderMovesOnceAndOnlyWhenTheNewOneIsMissing) {
    const auto legacy = root_ / "Inkwell";
    std::filesystem::create_directories(legacy);
    auto seeded = make(nullptr);
    const std::string id = newID();
    seeded->storeSeed(seed_, id, "pw");
    // Both folders present: nothing moves.
    std::filesystem::create_directories(legacy);
    writeFileAtomically(legacy / "marker", utf8View("x"));
    EXPECT_EQ(make(nullptr)->loadSeed(id, "pw"), SecureBytes(seed_));
    EXPECT_TRUE(std::filesystem::exists(legacy / "marker"));
    // Only the old one: it becomes the storage folder and its items are found there.
    std::filesystem::remove_all(legacy);
    std::filesystem::rename(root_ / "Quillmark", legacy);
    auto moved = make(nullptr);
    EXPECT_FALSE(std::filesystem::exists(legacy));
    EXPECT_EQ(moved->loadSeed(id, "pw"), SecureBytes(seed_));
}

} // namespace
} // namespace qm
