#include "FakeKeychain.h"
#include "KeyringLocker.h"
#include "KillAtRandom.h"
#include "TestHex.h"
#include "core/model/Wallet.h"
#include "core/storage/KeychainManager.h"
#include "platform/AtomicFile.h"
#include "platform/Crypto.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>

namespace qm {
namespace {

using Code = KeychainError::Code;
const std::vector<std::string> words = {"abandon", "ability", "able",   "about",
                                        "above",   "absent",  "absorb", "abstract"};

template <typename F> std::optional<Code> keychainFailure(F&& call) {
    try {
        call();
    } catch (const KeychainError& error) {
        return error.code();
    }
    return std::nullopt;
}

// Runs against the backend the environment names (memory or Secret Service).
class KeychainManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto reason = test::keychainUnavailableReason()) {
            GTEST_SKIP() << "Secret Service unavailable: " << *reason;
        }
        backend_ = test::testKeychainBackend();
        keychain_ = std::make_shared<test::FaultyKeychain>(backend_);
    }
    void TearDown() override {
        if (keychain_) { // not skipped: leave nothing in the keychain
            keychain_->release();
            ids_.push_back("metadata");
            for (const std::string& id : ids_) {
                for (const char* prefix : {"salt-", "seed-", "verify-", "mnemonic-", "wallet-"}) {
                    backend_->remove("com.quillmark.wallet", prefix + id);
                }
            }
        }
    }
    std::unique_ptr<KeychainManager>
    make(std::shared_ptr<Keychain> keychain, KeychainManager::KeyDerivation derive = {},
         std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return std::make_unique<KeychainManager>(
            KeychainManager::Config{std::move(keychain), root_, timeout, std::move(derive)});
    }
    std::unique_ptr<KeychainManager> make() { return make(keychain_); }
    std::string newID() { return ids_.emplace_back(newWalletID()); }
    std::optional<Bytes> stored(const std::string& name) {
        return backend_->load("com.quillmark.wallet", name);
    }
    std::filesystem::path file(const std::string& name) { return root_ / "Quillmark" / name; }

    QTemporaryDir dir_;
    const std::filesystem::path root_ = dir_.path().toStdString();
    std::shared_ptr<Keychain> backend_;
    std::shared_ptr<test::FaultyKeychain> keychain_;
    std::vector<std::string> ids_;
    const Bytes seed_ = crypto::randomBytes(64);
};

TEST_F(KeychainManagerTest, ProbeChoosesTheKeychainOnlyWhenItAnswersInTime) {
    // A stale probe item does not matter; refused, absent or silent keychains mean files.
    backend_->save("com.quillmark.wallet.probe", "probe-bio", Bytes{0x42});
    EXPECT_FALSE(make()->useFileFallback());
    EXPECT_FALSE(backend_->load("com.quillmark.wallet.probe", "probe-bio"));
    keychain_->failSaves(-25308);
    EXPECT_TRUE(make()->useFileFallback());
    EXPECT_TRUE(make(nullptr)->useFileFallback());
    keychain_->failSaves(0);
    keychain_->hang();
    auto stuck = make(keychain_, {}, std::chrono::milliseconds(200));
    EXPECT_TRUE(stuck->useFileFallback());
    const std::string id = newID();
    stuck->storeSeed(seed_, id, "pw");
    EXPECT_EQ(stuck->loadSeed(id, "pw"), SecureBytes(seed_));
    EXPECT_TRUE(readFileIfExists(file("seed-" + id)));
}

// A locked keyring is not asked for items (that would prompt) and not taken for "no wallet":
// a search, which needs no unlock, tells whether a record may be in it.
TEST_F(KeychainManagerTest, ALockedKeychainIsOnlySearchedUntilItOpens) {
    keychain_->setLocked(true);
    auto empty = make();
    EXPECT_EQ(empty->keychainStatus(), KeychainStatus::locked);
    EXPECT_TRUE(empty->useFileFallback());
    EXPECT_FALSE(empty->walletMayBeInLockedKeychain()); // nothing of the wallet stored there
    keychain_->setLocked(false);
    const std::string id = newID();
    make()->storeSeed(seed_, id, "pw");
    keychain_->setLocked(true);
    // Sealed items without a record: a create cut short, or a record lost.
    EXPECT_TRUE(make()->walletMayBeInLockedKeychain());
    keychain_->setLocked(false);
    make()->storeItem("wallet-metadata", utf8View("{}"));
    keychain_->setLocked(true);
    const std::size_t before = keychain_->calls().size();
    auto locked = make();
    EXPECT_TRUE(locked->walletMayBeInLockedKeychain());
    EXPECT_EQ(locked->loadItem("wallet-metadata"), std::nullopt);
    const std::vector<std::string> calls = keychain_->calls();
    EXPECT_EQ(
        std::vector<std::string>(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()),
        (std::vector<std::string>{"probe", "search"}));
    locked->probeKeychainAgain(); // still locked: nothing changes
    EXPECT_TRUE(locked->useFileFallback());
    keychain_->setLocked(false);
    locked->probeKeychainAgain();
    EXPECT_EQ(locked->keychainStatus(), KeychainStatus::usable);
    EXPECT_FALSE(locked->useFileFallback());
    EXPECT_FALSE(locked->walletMayBeInLockedKeychain());
    EXPECT_EQ(locked->loadItem("wallet-metadata"), test::ascii("{}"));
    EXPECT_EQ(locked->loadSeed(id, "pw"), SecureBytes(seed_));
    // A keychain that does not answer may hold anything.
    keychain_->hang();
    EXPECT_TRUE(make(keychain_, {}, std::chrono::milliseconds(100))->walletMayBeInLockedKeychain());
}

// Temporary files of writes a killed process left behind go at the next start.
TEST_F(KeychainManagerTest, AStartRemovesTheTemporaryFilesOfInterruptedWrites) {
    const std::filesystem::path folder = root_ / "Quillmark";
    ensureDirectory(folder);
    const std::vector<std::string> stale = {".verify-1.a8Zq0x", ".tokens.json.000000"};
    const std::vector<std::string> kept = {"seed-1", ".hidden", ".verify-1.a8Zq0", ".x.a-b_cd"};
    for (const std::string& name : stale) {
        writeFileAtomically(folder / name, utf8View("x"));
    }
    for (const std::string& name : kept) {
        writeFileAtomically(folder / name, utf8View("x"));
    }
    make(nullptr);
    for (const std::string& name : stale) {
        EXPECT_FALSE(std::filesystem::exists(folder / name)) << name;
    }
    for (const std::string& name : kept) {
        EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
    }
}

// The process's instance probes with the real time-out, when started (off the window's
// thread): a working Secret Service is used.
TEST(KeychainManagerShared, UsesAWorkingSecretService) {
    EXPECT_EQ(KeychainManager::sharedConfig().probeTimeout, std::chrono::seconds(5));
    EXPECT_TRUE(KeychainManager::sharedConfig().deferStart);
    const char* backend = std::getenv("QM_KEYCHAIN_BACKEND");
    if (backend == nullptr || std::string_view(backend) != "secret-service") {
        GTEST_SKIP() << "needs the Secret Service (tests/peers/with-gnome-keyring.sh)";
    }
    KeychainManager& shared = KeychainManager::shared();
    EXPECT_FALSE(shared.started());
    shared.start();
    EXPECT_EQ(shared.keychainStatus(), KeychainStatus::usable);
    ASSERT_FALSE(shared.useFileFallback());
    const std::string item = "shared-" + test::hex(crypto::randomBytes(8));
    shared.storeItem(item, utf8View("x"));
    SecretServiceKeychain keychain;
    EXPECT_EQ(keychain.load("com.quillmark.wallet", item), test::ascii("x"));
    EXPECT_FALSE(std::filesystem::exists(shared.storageDir() / item));
    shared.deleteItem(item);
}

TEST_F(KeychainManagerTest, WrongPasswordsDamageMissingItemsAndFailedDerivation) {
    auto manager = make();
    auto failing = make(keychain_, [](ByteView, ByteView) -> SecureBytes {
        throw CryptoError(CryptoError::Code::openSSLFailure, "PKCS5_PBKDF2_HMAC failed");
    });
    const std::string id = newID(), damaged = newID(), unchecked = newID(), fresh = newID();
    for (const std::string& each : {id, damaged, unchecked}) {
        manager->storeSeed(seed_, each, "pw");
    }
    manager->storeMnemonic(words, id, "pw");
    Bytes sealed = manager->loadItem("seed-" + damaged).value();
    sealed.back() ^= 0x01;
    manager->storeItem("seed-" + damaged, sealed);
    manager->deleteItem("verify-" + unchecked);
    const std::vector<std::pair<std::function<void()>, Code>> cases = {
        {[&] { manager->loadSeed(id, "pW"); }, Code::wrongPassword},
        {[&] { manager->loadMnemonic(id, "pw "); }, Code::wrongPassword},
        {[&] { manager->loadSeed(damaged, "pw"); }, Code::decryptionFailed},
        {[&] { manager->loadSeed(unchecked, "pw"); }, Code::itemNotFound},
        {[&] { manager->storeMnemonic(words, fresh, "pw"); }, Code::itemNotFound},
        {[&] { failing->loadSeed(id, "pw"); }, Code::decryptionFailed},
        {[&] { failing->storeMnemonic(words, id, "pw"); }, Code::encryptionFailed},
        {[&] { failing->storeSeed(seed_, fresh, "pw"); }, Code::encryptionFailed},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(keychainFailure(cases[i].first), cases[i].second) << "case " << i;
    }
    EXPECT_FALSE(failing->hasSeed(fresh)); // no item is left by a failed derivation
}

// A copied data folder must not let anyone test passwords at the speed of one hash.
TEST_F(KeychainManagerTest, TheStoredCheckValueCostsADerivationAndReplacesTheOlderForm) {
    int derivations = 0;
    auto manager = make(keychain_, [&derivations](ByteView password, ByteView salt) {
        ++derivations;
        return crypto::pbkdf2HmacSha512(password, salt, 100'000, 32);
    });
    const std::string id = newID();
    manager->storeSeed(seed_, id, "pw");
    const Bytes salt = manager->loadItem("salt-" + id).value();
    const auto verifier = [&] { return manager->loadItem("verify-" + id).value(); };
    EXPECT_TRUE(KeychainManager::isStoredCheckValue(verifier()));
    EXPECT_NE(verifier(), KeychainManager::passwordCheckValue("pw", salt));

    // An older SHA-256 value is accepted once and replaced at the next successful unlock.
    manager->storeItem("verify-" + id, KeychainManager::passwordCheckValue("pw", salt));
    derivations = 0;
    EXPECT_EQ(keychainFailure([&] { manager->loadSeed(id, "wrong"); }), Code::wrongPassword);
    EXPECT_EQ(derivations, 1);
    EXPECT_EQ(verifier(), KeychainManager::passwordCheckValue("pw", salt));
    EXPECT_EQ(manager->loadSeed(id, "pw"), SecureBytes(seed_));
    EXPECT_TRUE(KeychainManager::isStoredCheckValue(verifier()));
    EXPECT_EQ(make()->loadSeed(id, "pw"), SecureBytes(seed_));
    derivations = 0;
    EXPECT_EQ(keychainFailure([&] { manager->loadSeed(id, "pW"); }), Code::wrongPassword);
    EXPECT_EQ(derivations, 1); // a wrong password costs the whole derivation
}

TEST_F(KeychainManagerTest, ANewWalletSealsSeedAndPhraseWithOneDerivation) {
    int derivations = 0;
    auto manager = make(keychain_, [&derivations](ByteView password, ByteView salt) {
        ++derivations;
        return crypto::pbkdf2HmacSha512(password, salt, 100'000, 32);
    });
    const std::string id = newID();
    const std::vector<std::string> words = {"abandon", "ability", "able"};
    manager->storeSeedAndPhrase(seed_, words, id, "pw");
    EXPECT_EQ(derivations, 1);
    for (const char* prefix : {"salt-", "seed-", "verify-", "mnemonic-"}) {
        EXPECT_TRUE(stored(prefix + id)) << prefix;
    }
    EXPECT_TRUE(KeychainManager::isStoredCheckValue(manager->loadItem("verify-" + id).value()));
    EXPECT_EQ(make()->loadSeed(id, "pw"), SecureBytes(seed_));
    EXPECT_EQ(make()->loadMnemonic(id, "pw"), words);
    EXPECT_EQ(keychainFailure([&] { make()->loadMnemonic(id, "pW"); }), Code::wrongPassword);
}

TEST_F(KeychainManagerTest, AFailingSaveTurnsTheProcessToFilesWithTheSeedItemsAsAGroup) {
    auto manager = make();
    const std::string early = newID(), id = newID();
    manager->storeSeed(seed_, early, "pw");
    keychain_->failSaves(-25293, {"seed-" + id});
    manager->storeSeed(seed_, id, "pw");
    EXPECT_TRUE(manager->useFileFallback());
    for (const char* prefix : {"salt-", "seed-", "verify-"}) {
        EXPECT_TRUE(readFileIfExists(file(prefix + id))) << prefix;
        EXPECT_FALSE(stored(prefix + id)) << prefix; // the salt already saved is taken back
    }
    // From now on every write goes to files, and the keychain copy is not left to shadow it.
    keychain_->failSaves(0);
    manager->storeItem("wallet-metadata", utf8View("{\"new\":2}"));
    EXPECT_FALSE(stored("wallet-metadata"));
    // The next start finds the keychain working again; the files are still read, and a
    // keychain write replaces the file copy.
    auto next = make();
    ASSERT_FALSE(next->useFileFallback());
    EXPECT_EQ(next->loadSeed(id, "pw"), SecureBytes(seed_));
    EXPECT_EQ(next->loadSeed(early, "pw"), SecureBytes(seed_));
    EXPECT_EQ(next->loadItem("wallet-metadata").value(), test::ascii("{\"new\":2}"));
    next->storeItem("wallet-metadata", utf8View("{\"newest\":3}"));
    EXPECT_FALSE(readFileIfExists(file("wallet-metadata")));
}

TEST_F(KeychainManagerTest, DeletingAWalletRemovesEveryItemAndReportsRealFailures) {
    auto manager = make();
    const std::string id = newID();
    manager->storeSeed(seed_, id, "pw");
    manager->storeMnemonic(words, id, "pw");
    keychain_->failRemoves(-25244);
    EXPECT_EQ(keychainFailure([&] { manager->deleteWallet(id); }), Code::deleteFailed);
    EXPECT_TRUE(manager->hasSeed(id));
    keychain_->failRemoves(0);
    manager->deleteWallet(id);
    for (const char* prefix : {"salt-", "seed-", "verify-", "mnemonic-"}) {
        EXPECT_FALSE(manager->loadItem(prefix + id)) << prefix;
    }
    EXPECT_NO_THROW(manager->deleteWallet(id)); // already gone is fine
}

// "Delete Wallet" leaves nothing of the service in either medium, whatever wallet an item
// names (a create cut short, a restore over another wallet); other names stay.
TEST_F(KeychainManagerTest, DeletingEverythingLeavesNoItemOfAnyWalletInEitherMedium) {
    auto manager = make();
    const std::string first = newID(), second = newID();
    manager->storeSeedAndPhrase(seed_, words, first, "pw");
    manager->storeItem("wallet-metadata", utf8View("{}"));
    backend_->save("com.quillmark.wallet.other", "seed-" + first, Bytes{1});
    keychain_->failSaves(-25308); // the process turns to files
    manager->storeSeed(seed_, second, "pw");
    writeFileAtomically(file("pending-items"), utf8View("[]"));
    for (const char* kept : {"tokens.json", "notes", "seed-", "seed-1.bak"}) {
        writeFileAtomically(file(kept), utf8View("x"));
    }
    EXPECT_TRUE(manager->holdsAnyItem());
    keychain_->failSaves(0);
    keychain_->failRemoves(-25244);
    EXPECT_EQ(keychainFailure([&] { manager->deleteAllItems(); }), Code::deleteFailed);
    EXPECT_FALSE(readFileIfExists(file("seed-" + second))); // the others were still tried
    keychain_->failRemoves(0);
    manager->deleteAllItems();
    EXPECT_FALSE(manager->holdsAnyItem());
    for (const std::string& account : backend_->accounts("com.quillmark.wallet")) {
        EXPECT_FALSE(KeychainManager::isItemName(account)) << account;
    }
    for (const char* kept : {"tokens.json", "notes", "seed-", "seed-1.bak"}) {
        EXPECT_TRUE(std::filesystem::exists(file(kept))) << kept;
    }
    EXPECT_EQ(backend_->load("com.quillmark.wallet.other", "seed-" + first), Bytes{1});
    backend_->remove("com.quillmark.wallet.other", "seed-" + first);
}

// A group of writes is all or nothing: a failing write drops the journal (the caller puts
// the old values back); one cut short by a kill is finished by the next start, in whichever
// medium its journal lies.
TEST_F(KeychainManagerTest, AGroupOfWritesCutShortIsFinishedByTheNextStart) {
    const std::string id = newID();
    const std::vector<std::pair<std::string, Bytes>> group = {
        {"salt-" + id, Bytes{1}}, {"seed-" + id, Bytes{2}}, {"wallet-metadata", Bytes{3}}};
    for (const bool files : {false, true}) {
        SCOPED_TRACE(files);
        auto manager = files ? make(nullptr) : make();
        keychain_->failSaves(-25308, {"seed-" + id});
        if (files) {
            std::filesystem::create_directories(file("seed-" + id) / "blocker");
            EXPECT_THROW(manager->writeItemGroup(group), FileError);
            std::filesystem::remove_all(file("seed-" + id));
        } else {
            // The keychain refuses: the process turns to files, which take the group.
            manager->writeItemGroup(group);
            EXPECT_TRUE(manager->useFileFallback());
        }
        keychain_->failSaves(0);
        EXPECT_FALSE(manager->loadItem("pending-items"));
        // Killed after the journal and the first item: the next start writes the rest.
        manager->deleteAllItems();
        manager->storeItem("pending-items",
                           utf8View("[[\"salt-" + id + "\",\"BA==\"],[\"seed-" + id +
                                    "\",\"BQ==\"],[\"wallet-metadata\"," + "\"Bg==\"]]"));
        manager->storeItem("salt-" + id, Bytes{4});
        auto next = files ? make(nullptr) : make();
        EXPECT_EQ(next->loadItem("salt-" + id), Bytes{4});
        EXPECT_EQ(next->loadItem("seed-" + id), Bytes{5});
        EXPECT_EQ(next->loadItem("wallet-metadata"), Bytes{6});
        EXPECT_FALSE(next->loadItem("pending-items"));
        // A journal that names anything but an item is dropped unread.
        next->storeItem("pending-items", utf8View(R"([["../tokens.json","BA=="]])"));
        EXPECT_FALSE((files ? make(nullptr) : make())->loadItem("pending-items"));
        EXPECT_FALSE(std::filesystem::exists(root_ / "tokens.json"));
        next->deleteAllItems();
    }
}

// A locked keyring is AppStateLifecycle's test; here files that cannot be read or removed.
TEST_F(KeychainManagerTest, AnUnreadableItemIsNotAnAbsentOne) {
    const std::string id = newID();
    auto files = make(nullptr);
    std::filesystem::create_directories(file("wallet-metadata"));
    std::filesystem::create_directories(file("seed-" + id) / "blocker");
    EXPECT_THROW(files->loadWalletMetadata(), FileError);
    EXPECT_THROW(files->hasSeed(id), FileError);
    EXPECT_THROW(files->deleteWallet(id), FileError);
}

// Moving the user's older data folder is the one step here that could lose a wallet.
TEST_F(KeychainManagerTest, AnOlderFolderMovesOnceAndOnlyWhenTheNewOneIsMissing) {
    const auto legacy = root_ / "Inkwell";
    const std::string id = newID();
    make(nullptr)->storeSeed(seed_, id, "pw");
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

namespace qm {
namespace {

Bytes recordOf(const std::string& id) {
    return encodeWalletMetadata(Wallet{id, "Quillmark", Date::fromUnixTime(1738315800), 1, 1, 5});
}

// The keychain holds the wallet: a file in the data folder says so, which a start reads when
// the keyring cannot be asked. Without it a start with the keyring down offered a new wallet
// in files, and the old one shadowed it once the keyring was back.
TEST_F(KeychainManagerTest, AWalletInTheKeychainIsMarkedAndWaitedForWhileTheKeychainIsDown) {
    const std::string id = newID();
    make()->storeNewWallet(seed_, words, id, "pw", recordOf(id));
    const WalletNoteFile marker(file("keyring-wallet.json"));
    EXPECT_EQ(marker.read(), (WalletNote{id, ItemPlace::keyring}));
    EXPECT_FALSE(std::filesystem::exists(file("pending-create.json")));

    keychain_->setAbsent(true); // the keyring daemon is not running
    auto down = make();
    EXPECT_EQ(down->keychainStatus(), KeychainStatus::absent);
    EXPECT_TRUE(down->walletInAbsentKeychain());
    EXPECT_EQ(down->loadWalletMetadata(), std::nullopt); // nothing to read: the marker says why
    EXPECT_EQ(down->keyringNeedForWalletItems(), KeychainManager::KeyringNeed::unreachable);
    keychain_->setAbsent(false);
    down->probeKeychainAgain(); // started again: read as after a start with it
    EXPECT_FALSE(down->walletInAbsentKeychain());
    EXPECT_EQ(down->loadSeed(id, "pw"), SecureBytes(seed_));
    EXPECT_EQ(down->keyringNeedForWalletItems(), KeychainManager::KeyringNeed::unlock);

    // Locked, the marker alone tells: no search is needed.
    keychain_->setLocked(true);
    auto locked = make();
    EXPECT_TRUE(locked->walletMayBeInLockedKeychain());
    const std::vector<std::string> calls = keychain_->calls();
    EXPECT_EQ(calls.back(), "probe");
    EXPECT_EQ(locked->keyringNeedForWalletItems(), KeychainManager::KeyringNeed::unlock);
    EXPECT_THROW(locked->deleteAllItems(), KeychainError); // not while it cannot be listed
    keychain_->setLocked(false);

    // Deleted, nothing is waited for; a wallet in files has no marker.
    make()->deleteAllItems();
    EXPECT_FALSE(marker.read());
    keychain_->setAbsent(true);
    EXPECT_FALSE(make()->walletInAbsentKeychain());
    EXPECT_EQ(make()->keyringNeedForWalletItems(), KeychainManager::KeyringNeed::none);
    const std::string inFiles = newID();
    make()->storeNewWallet(seed_, words, inFiles, "pw", recordOf(inFiles));
    EXPECT_FALSE(marker.read());
    keychain_->setAbsent(false);
    EXPECT_EQ(make()->loadSeed(inFiles, "pw"), SecureBytes(seed_));

    // A marker goes once the wallet it names is found in files; one that does not decode
    // still says that the keyring holds a wallet.
    marker.write({inFiles, ItemPlace::keyring});
    make()->noteWalletPlace(inFiles);
    EXPECT_FALSE(marker.read());
    writeFileAtomically(file("keyring-wallet.json"), utf8View("{"));
    keychain_->setAbsent(true);
    EXPECT_TRUE(make()->walletInAbsentKeychain());
}

// The keyring that holds the wallet is gone for good (another desktop): a wallet restored into
// files beside it is the one every later start opens, keyring back or not, and nothing of the
// keyring's wallet is read over it, written or deleted. Deleting the wallet in files notes the
// keyring's wallet again, so that no later wallet in files stands where it would shadow it.
TEST_F(KeychainManagerTest, AWalletRestoredIntoFilesBesideAGoneKeyringIsTheOneOpened) {
    const std::string inKeyring = newID();
    make()->storeNewWallet(seed_, words, inKeyring, "pw", recordOf(inKeyring));
    const WalletNoteFile marker(file("keyring-wallet.json"));
    const auto keyringItems = [&] { return backend_->accounts("com.quillmark.wallet"); };
    const std::vector<std::string> before = keyringItems();
    ASSERT_TRUE(stored("seed-" + inKeyring));

    keychain_->setAbsent(true);
    auto gone = make();
    ASSERT_TRUE(gone->walletInAbsentKeychain());
    gone->keepWalletInFiles();
    EXPECT_FALSE(gone->walletInAbsentKeychain());
    EXPECT_EQ(gone->keyringNeedForWalletItems(), KeychainManager::KeyringNeed::none);
    // Chosen but nothing stored yet: a new look waits for the keyring's wallet again.
    gone->probeKeychainAgain();
    EXPECT_TRUE(gone->walletInAbsentKeychain());
    EXPECT_FALSE(gone->keepsWalletInFiles());
    gone->keepWalletInFiles();
    const Bytes otherSeed = crypto::randomBytes(64);
    const std::string inFiles = newID();
    gone->storeNewWallet(otherSeed, words, inFiles, "pw", recordOf(inFiles));
    EXPECT_EQ(marker.read(), (WalletNote{inFiles, ItemPlace::files}));
    EXPECT_TRUE(readFileIfExists(file("seed-" + inFiles)));

    for (const bool absent : {true, false}) {
        keychain_->setAbsent(absent);
        const std::size_t asked = keychain_->calls().size();
        auto next = make();
        EXPECT_FALSE(next->walletInAbsentKeychain());
        EXPECT_TRUE(next->keepsWalletInFiles());
        EXPECT_EQ(next->loadWalletMetadata()->id, inFiles);
        EXPECT_EQ(next->loadSeed(inFiles, "pw"), SecureBytes(otherSeed));
        next->storeItem("wallet-metadata", recordOf(inFiles));
        next->noteWalletPlace(inFiles);
        EXPECT_EQ(keychain_->calls().size(), asked) << "the keyring was asked";
    }
    EXPECT_EQ(keyringItems(), before);
    EXPECT_EQ(stored("wallet-metadata"), recordOf(inKeyring));
    EXPECT_EQ(marker.read(), (WalletNote{inFiles, ItemPlace::files}));

    // The keyring's wallet is the stored one then, in this process as at the next start.
    auto deleting = make();
    deleting->deleteAllItems();
    EXPECT_FALSE(readFileIfExists(file("seed-" + inFiles)));
    EXPECT_FALSE(readFileIfExists(file("wallet-metadata")));
    EXPECT_EQ(keyringItems(), before);
    EXPECT_EQ(marker.read(), (WalletNote{"", ItemPlace::keyring}));
    EXPECT_FALSE(deleting->keepsWalletInFiles());
    EXPECT_FALSE(deleting->useFileFallback());
    EXPECT_EQ(deleting->loadWalletMetadata()->id, inKeyring);
    EXPECT_EQ(deleting->loadSeed(inKeyring, "pw"), SecureBytes(seed_));
    keychain_->setAbsent(true);
    EXPECT_TRUE(make()->walletInAbsentKeychain());
    keychain_->setAbsent(false);
    auto back = make();
    EXPECT_EQ(back->loadSeed(inKeyring, "pw"), SecureBytes(seed_));
    back->noteWalletPlace(inKeyring);
    EXPECT_EQ(marker.read(), (WalletNote{inKeyring, ItemPlace::keyring}));
}

// A create runs under a journal: the next start after a kill removes the items of a create
// that never wrote its record, and only the journal of one that did. A create that fails
// leaves nothing.
TEST_F(KeychainManagerTest, ACreateCutShortIsUndoneByTheNextStart) {
    const WalletNoteFile journal(file("pending-create.json"));
    const auto sealedItems = [&](const std::string& id) {
        int count = 0;
        for (const char* prefix : {"salt-", "seed-", "verify-", "mnemonic-"}) {
            count += stored(prefix + id).has_value() || readFileIfExists(file(prefix + id));
        }
        return count;
    };
    // Killed after the sealed items: no record names them, so they go.
    const std::string cut = newID();
    make()->storeSeedAndPhrase(seed_, words, cut, "pw");
    journal.write({cut, ItemPlace::keyring});
    ASSERT_EQ(sealedItems(cut), 4);
    make();
    EXPECT_EQ(sealedItems(cut), 0);
    EXPECT_FALSE(journal.read());

    // Killed after the record: the wallet stays, marked.
    const std::string done = newID();
    auto manager = make();
    manager->storeSeedAndPhrase(seed_, words, done, "pw");
    manager->storeItem("wallet-metadata", recordOf(done));
    journal.write({done, ItemPlace::keyring});
    auto next = make();
    EXPECT_EQ(next->loadSeed(done, "pw"), SecureBytes(seed_));
    EXPECT_FALSE(journal.read());
    EXPECT_EQ(WalletNoteFile(file("keyring-wallet.json")).read()->walletID, done);

    // A keychain that is locked at that start may hold them: the journal waits for it, and
    // meanwhile says that the keyring may hold a wallet.
    const std::string waiting = newID();
    make()->storeSeedAndPhrase(seed_, words, waiting, "pw");
    journal.write({waiting, ItemPlace::keyring});
    keychain_->setLocked(true);
    auto locked = make();
    EXPECT_TRUE(journal.read());
    EXPECT_TRUE(locked->walletNotedInKeychain());
    keychain_->setLocked(false);
    EXPECT_EQ(sealedItems(waiting), 4);
    locked->probeKeychainAgain();
    EXPECT_EQ(sealedItems(waiting), 0);
    EXPECT_FALSE(journal.read());
    EXPECT_EQ(locked->loadSeed(done, "pw"), SecureBytes(seed_)); // the record's wallet stays

    // A create whose record cannot be written anywhere removes its sealed items.
    const std::string failing = newID();
    keychain_->failSaves(-25308, {"wallet-metadata"});
    std::filesystem::create_directories(file("wallet-metadata") / "blocker");
    EXPECT_THROW(make()->storeNewWallet(seed_, words, failing, "pw", recordOf(failing)), FileError);
    EXPECT_EQ(sealedItems(failing), 0);
    EXPECT_FALSE(journal.read());
    std::filesystem::remove_all(file("wallet-metadata"));
    keychain_->failSaves(0);
}

// A keyring locked while the program runs (a screen locker) refuses the write of an item it
// holds. Written to a file instead, the change was lost at the next start, which reads the
// keyring's older copy first. Under gnome-keyring this locks the real keyring and unlocks it
// with its password (QM_KEYRING_SETUP=relock, a session of its own).
TEST_F(KeychainManagerTest, AWriteToAKeyringLockedSinceTheStartIsNeverShadowedByAFile) {
    const char* setup = std::getenv("QM_KEYRING_SETUP");
    const bool real = dynamic_cast<SecretServiceKeychain*>(backend_.get()) != nullptr;
    if (real && (setup == nullptr || std::string_view(setup) != "relock")) {
        GTEST_SKIP() << "needs a gnome-keyring of its own to lock";
    }
    const auto setLocked = [&](bool locked) {
        if (!real) {
            keychain_->setLocked(locked);
        } else if (locked) {
            ASSERT_TRUE(test::KeyringLocker::lock());
        } else {
            ASSERT_TRUE(test::KeyringLocker::unlock("quillmark-test"));
        }
    };
    const std::string id = newID(), other = newID();
    const Bytes changed =
        encodeWalletMetadata(Wallet{id, "Quillmark", Date::fromUnixTime(1738315800), 1, 1, 6});
    auto running = make();
    running->storeNewWallet(seed_, words, id, "pw", recordOf(id));
    ASSERT_FALSE(running->useFileFallback());

    setLocked(true);
    const auto refused = keychainFailure([&] { running->storeItem("wallet-metadata", changed); });
    // Held nowhere: a file, which the next start reads after the keyring.
    running->storeItem("mnemonic-" + other, Bytes{1, 2, 3});
    setLocked(false);
    auto next = make();
    // What the next start reads is what the write said.
    EXPECT_EQ(refused, Code::keyringLocked);
    EXPECT_EQ(next->loadItem("wallet-metadata"), refused ? recordOf(id) : changed);
    EXPECT_FALSE(std::filesystem::exists(file("wallet-metadata")));
    EXPECT_FALSE(running->useFileFallback()); // the keyring is still the medium
    EXPECT_EQ(next->loadItem("mnemonic-" + other), (Bytes{1, 2, 3}));
    // Unlocked again, the same write lands in the keyring.
    running->storeItem("wallet-metadata", changed);
    EXPECT_EQ(stored("wallet-metadata"), changed);
    EXPECT_EQ(make()->loadWalletMetadata()->btcAddressCount, 6);

    // A process turned to files (a save failed for another reason) does the same for items
    // the keyring still holds.
    keychain_->failSaves(-25293, {"salt-" + other});
    running->storeItem("salt-" + other, Bytes{4});
    keychain_->failSaves(0);
    ASSERT_TRUE(running->useFileFallback());
    const std::optional<Bytes> verifier = stored("verify-" + id);
    setLocked(true);
    EXPECT_EQ(keychainFailure([&] { running->storeItem("verify-" + id, Bytes{5}); }),
              Code::keyringLocked);
    setLocked(false);
    EXPECT_EQ(make()->loadItem("verify-" + id), verifier);
    EXPECT_EQ(make()->loadSeed(id, "pw"), SecureBytes(seed_));
}

// Killed at any point, a create leaves the whole wallet (its record, its seed opening with
// the password, the marker when in the keyring) or, once the next start has run, nothing.
TEST(KeychainManagerKill, ACreateKilledAtAnyPointLeavesTheWalletOrNothing) {
    const KeychainManager::KeyDerivation quick = [](ByteView password, ByteView salt) {
        Bytes input(password.begin(), password.end());
        input.insert(input.end(), salt.begin(), salt.end());
        return SecureBytes(crypto::sha256(input));
    };
    for (const bool inKeychain : {true, false}) {
        SCOPED_TRACE(inKeychain);
        QTemporaryDir dir;
        const std::filesystem::path root = dir.path().toStdString();
        const auto manager = [&] {
            std::shared_ptr<Keychain> keychain;
            if (inKeychain) {
                keychain = std::make_shared<test::DirectoryKeychain>(root / "keyring");
            }
            return std::make_unique<KeychainManager>(
                KeychainManager::Config{keychain, root, std::chrono::seconds(5), quick});
        };
        const Bytes seed = crypto::randomBytes(64);
        test::KillAtRandom killer;
        int wallets = 0, nothing = 0;
        for (int round = 0; round <= 100; ++round) {
            SCOPED_TRACE(round);
            const std::string id = newWalletID();
            ASSERT_TRUE(killer.run(
                round, [&] { manager()->storeNewWallet(seed, words, id, "pw", recordOf(id)); }));
            auto next = manager();
            const std::optional<Wallet> record = next->loadWalletMetadata();
            const std::optional<WalletNote> marker =
                WalletNoteFile(root / "Quillmark" / "keyring-wallet.json").read();
            if (record) {
                ASSERT_EQ(record->id, id);
                EXPECT_EQ(next->loadSeed(id, "pw"), SecureBytes(seed));
                EXPECT_EQ(next->loadMnemonic(id, "pw"), words);
                EXPECT_EQ(marker.has_value(), inKeychain);
                ++wallets;
            } else {
                EXPECT_FALSE(next->holdsAnyItem()) << "items of a create without its record";
                EXPECT_FALSE(marker);
                ++nothing;
            }
            EXPECT_FALSE(std::filesystem::exists(root / "Quillmark" / "pending-create.json"));
            next->deleteAllItems();
        }
        std::cout << "whole wallets " << wallets << ", nothing " << nothing << std::endl;
    }
}

} // namespace
} // namespace qm
