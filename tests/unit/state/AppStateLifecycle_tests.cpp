// Derived addresses and keys are checked by the appstate peer (tests/peers/appstate_peer.mjs),
// a whole refresh by FullRefresh_tests; here the lifecycle and the refusals.
#include "AppStateFixture.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "platform/AtomicFile.h"
#include "state/WalletRecord.h"
#include "state/flows/AttemptLedger.h"
#include "state/refresh/RefreshOrchestrator.h"
#include "state/signing/Signer.h"

#include <QSignalSpy>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace qm {
namespace {

using test::AppStateFixture;

constexpr const char* password = "correct horse 1";

template <typename Call> void expectKeychainError(Call call, KeychainError::Code code) {
    try {
        call();
        ADD_FAILURE() << "no keychain error";
    } catch (const KeychainError& error) {
        EXPECT_EQ(error.code(), code);
    }
}

struct CreatedWallet : AppStateFixture {
    CreatedWallet() {
        state().loadStoredState();
        test::runTask(state().createWallet(abandonPhrase(), password));
    }
};

void expectNoSessionTasks(AppState& state) {
    for (const Chain chain : allChains()) {
        EXPECT_TRUE(state.evmAccounts(chain).empty()) << rawValue(chain);
    }
    EXPECT_TRUE(state.bitcoinAccounts().empty() && state.solanaAccounts().empty());
    const RefreshOrchestrator& refresh = state.refreshOrchestrator();
    EXPECT_FALSE(refresh.refreshTask() || refresh.activeRefreshTask() ||
                 refresh.btcSubscriptionTask());
    EXPECT_FALSE(test::runTask(state.signer().holdsMasterKey()));
}

// Marks every address as read from a server, with the given balance at one position.
void markFetched(AppState& state, std::size_t withBalance = SIZE_MAX) {
    std::vector<BTCAccountState> accounts = state.bitcoinAccounts();
    for (std::size_t i = 0; i < accounts[0].addresses.size(); ++i) {
        accounts[0].addresses[i].fetched = true;
        accounts[0].addresses[i].balanceSats = i == withBalance ? 1500 : 0;
    }
    state.setBitcoinAccounts(std::move(accounts));
}

// A file where the data folder should be: no record can be written there.
std::filesystem::path blockDataFolder(AppStateFixture& env) {
    const std::filesystem::path folder = env.dataLocation() / "Quillmark";
    std::filesystem::remove_all(folder);
    writeFileAtomically(folder, Bytes{'x'});
    return folder;
}

TEST(AppStateLifecycle, TheStatesFromLaunchToResetWithoutTouchingTheNetwork) {
    CreatedWallet env;
    const Wallet created = *env.state().wallet();
    EXPECT_EQ(env.walletConnect().setups, 0); // creation does not set WalletConnect up
    const TaskHandle loop = *env.state().refreshOrchestrator().refreshTask();
    env.state().lock();
    EXPECT_TRUE(loop.isCancelled());
    expectNoSessionTasks(env.state());

    env.restart();
    AppState& reloaded = env.state();
    reloaded.loadStoredState();
    EXPECT_EQ(reloaded.wallet(), created);
    EXPECT_TRUE(reloaded.isLocked());
    // A wrong password changes nothing at all.
    QSignalSpy lockSpy(&reloaded, &AppState::isLockedChanged);
    QSignalSpy listSpy(&reloaded, &AppState::bitcoinAccountsChanged);
    expectKeychainError([&] { test::runTask(reloaded.unlock("wrong password")); },
                        KeychainError::Code::wrongPassword);
    expectNoSessionTasks(reloaded);
    EXPECT_EQ(lockSpy.count() + listSpy.count(), 0);
    AppStateFixture::settle();
    EXPECT_EQ(env.walletConnect().setups, 0);
    EXPECT_EQ(env.networkRequests(), 0);

    // Each unlock sets WalletConnect up once and replaces the loop of the one before.
    test::runTask(reloaded.unlock(password));
    const TaskHandle firstLoop = *reloaded.refreshOrchestrator().refreshTask();
    test::runTask(reloaded.unlock(password));
    EXPECT_TRUE(firstLoop.isCancelled());
    AppStateFixture::settle();
    EXPECT_EQ(env.walletConnect().setups, 2);

    // Showing the window again locks for real.
    const TaskHandle secondLoop = *reloaded.refreshOrchestrator().refreshTask();
    reloaded.loadStoredState();
    EXPECT_TRUE(reloaded.isLocked());
    EXPECT_TRUE(secondLoop.isCancelled());
    expectNoSessionTasks(reloaded);

    // Reset tries every item even when one resists, and then says so: the wallet stays,
    // and another try removes the rest.
    env.keychain().failRemoves(-25244);
    const std::size_t before = env.keychain().calls().size();
    expectKeychainError([&] { test::runTask(reloaded.resetWallet()); },
                        KeychainError::Code::deleteFailed);
    EXPECT_FALSE(reloaded.isOnboarding());
    EXPECT_EQ(reloaded.wallet(), created);
    const std::vector<std::string> calls = env.keychain().calls();
    EXPECT_EQ(std::count_if(calls.begin() + before, calls.end(),
                            [](const std::string& call) { return call.starts_with("remove:"); }),
              5);
    env.keychain().failRemoves(0);
    test::runTask(reloaded.resetWallet());
    EXPECT_TRUE(reloaded.isOnboarding());
    EXPECT_FALSE(reloaded.wallet());
}

TEST(AppStateLifecycle, AnUnreadableKeychainIsNotAMissingWalletButAMissingSeedIs) {
    CreatedWallet env;
    const Wallet created = *env.state().wallet();
    env.restart();
    env.keychain().failLoads(-25308); // a keyring that is locked
    AppState& state = env.state();
    state.loadStoredState();
    EXPECT_FALSE(state.isOnboarding()) << "onboarding could write a new wallet over the old one";
    expectKeychainError([&] { test::runTask(state.unlock(password)); },
                        KeychainError::Code::loadFailed);
    EXPECT_TRUE(state.isLocked());
    env.keychain().failLoads(0);
    test::runTask(state.unlock(password));
    EXPECT_EQ(state.wallet(), created);

    env.keychainManager().deleteItem("seed-" + created.id);
    env.restart();
    env.state().loadStoredState();
    EXPECT_TRUE(env.state().isOnboarding());
    EXPECT_FALSE(env.state().wallet());
    EXPECT_TRUE(env.state().hasUnreadableWallet());
}

// Items no readable record names are said on the welcome screen; a new wallet then leaves
// them alone, and only "Delete Wallet" removes them.
TEST(AppStateLifecycle, ItemsWithoutAReadableRecordAreReportedAndKeptByANewWallet) {
    CreatedWallet env;
    const Wallet first = *env.state().wallet();
    env.keychainManager().storeItem("wallet-metadata", utf8View("{\"id\":"));
    env.restart();
    AppState& state = env.state();
    QSignalSpy reported(&state, &AppState::hasUnreadableWalletChanged);
    state.loadStoredState();
    EXPECT_TRUE(state.isOnboarding());
    EXPECT_TRUE(state.hasUnreadableWallet());
    EXPECT_EQ(reported.count(), 1);
    test::runTask(state.createWallet(AppStateFixture::abandonPhrase(), "another password"));
    EXPECT_FALSE(state.hasUnreadableWallet());
    EXPECT_NE(state.wallet()->id, first.id);
    EXPECT_EQ(env.keychainManager().loadSeed(first.id, password).size(), 64u);

    // A fresh folder and keychain: nothing to report.
    AppStateFixture fresh;
    fresh.state().loadStoredState();
    EXPECT_TRUE(fresh.state().isOnboarding());
    EXPECT_FALSE(fresh.state().hasUnreadableWallet());
}

// A keyring locked at start holds the wallet: no onboarding (a second wallet would follow),
// but a request to unlock it, and "Try Again" then finds the wallet.
TEST(AppStateLifecycle, AWalletBehindALockedKeyringIsWaitedForNotReplaced) {
    CreatedWallet env;
    const Wallet created = *env.state().wallet();
    env.keychain().setLocked(true);
    env.restart();
    AppState& state = env.state();
    state.loadStoredState();
    EXPECT_TRUE(state.isKeyringLocked());
    EXPECT_FALSE(state.isOnboarding());
    EXPECT_FALSE(state.wallet());
    state.retryLockedKeyring();
    EXPECT_TRUE(state.isKeyringLocked());
    env.keychain().setLocked(false);
    state.retryLockedKeyring();
    EXPECT_FALSE(state.isKeyringLocked());
    EXPECT_EQ(state.wallet(), created);
    EXPECT_TRUE(state.isLocked());
    test::runTask(state.unlock(password));
    EXPECT_FALSE(state.isLocked());

    // A locked keyring that holds no wallet is no reason to wait: onboarding, into files.
    AppStateFixture fresh;
    fresh.keychain().setLocked(true);
    fresh.restart();
    fresh.state().loadStoredState();
    EXPECT_FALSE(fresh.state().isKeyringLocked());
    EXPECT_TRUE(fresh.state().isOnboarding());
}

// The keyring daemon is not running, but the marker says the wallet is in it: no onboarding
// (a new wallet would go to files, and the old one shadow it once the keyring is back), no
// delete that would only empty the files; "Try Again" finds it once the keyring runs.
TEST(AppStateLifecycle, AWalletInAKeyringThatIsNotRunningIsWaitedForNotReplaced) {
    CreatedWallet env;
    const Wallet created = *env.state().wallet();
    const std::filesystem::path marker =
        env.dataLocation() / "Quillmark" / KeychainManager::keyringMarkerFile;
    env.keychain().setAbsent(true);
    env.restart();
    AppState& state = env.state();
    state.loadStoredState();
    EXPECT_TRUE(state.isKeyringLocked());
    EXPECT_TRUE(state.isKeyringAbsent());
    EXPECT_FALSE(state.isOnboarding());
    expectKeychainError([&] { test::runTask(state.resetWallet()); },
                        KeychainError::Code::keyringUnavailable);
    EXPECT_TRUE(env.storedItems().load("com.quillmark.wallet", "seed-" + created.id));
    EXPECT_TRUE(std::filesystem::exists(marker));
    state.retryLockedKeyring();
    EXPECT_TRUE(state.isKeyringAbsent());
    env.keychain().setAbsent(false);
    state.retryLockedKeyring();
    EXPECT_FALSE(state.isKeyringLocked());
    EXPECT_EQ(state.wallet(), created);
    EXPECT_TRUE(state.isLocked());

    // An older release kept no marker: the first start that finds the wallet in the keyring
    // writes one.
    std::filesystem::remove(marker);
    env.restart();
    env.state().loadStoredState();
    EXPECT_TRUE(std::filesystem::exists(marker));
}

// A keyring locked since (a screen locker) keeps its items through a removal, and the wallet
// came back at the next start: "Delete Wallet" asks it to unlock first, deletes nothing while
// it stays locked, and goes to onboarding only once every item is gone.
TEST(AppStateLifecycle, ADeleteUnlocksALockedKeyringFirstOrDeletesNothing) {
    CreatedWallet env;
    AppState& state = env.state();
    const Wallet created = *state.wallet();
    const std::filesystem::path folder = env.dataLocation() / "Quillmark";
    const auto items = [&] { return env.storedItems().accounts("com.quillmark.wallet"); };
    const std::vector<std::string> before = items();
    ASSERT_EQ(before.size(), 5u);
    ASSERT_EQ(state.tokenStore().add(Token{"0x1", "T", "T", 18, Chain::ethereum}),
              TokenStore::AddResult::added);
    env.keychain().setLocked(true);
    {
        const std::jthread user = env.keychain().answerWhenPrompted(false);
        expectKeychainError([&] { test::runTask(state.resetWallet()); },
                            KeychainError::Code::keyringLocked);
    }
    EXPECT_EQ(items(), before);
    EXPECT_TRUE(std::filesystem::exists(folder / KeychainManager::keyringMarkerFile));
    EXPECT_TRUE(std::filesystem::exists(folder / "tokens.json"));
    EXPECT_EQ(state.wallet(), created);
    EXPECT_FALSE(state.isLocked());
    EXPECT_TRUE(state.refreshOrchestrator().refreshTask()); // the wallet goes on as it was

    {
        const std::jthread user = env.keychain().answerWhenPrompted(true);
        test::runTask(state.resetWallet());
    }
    EXPECT_TRUE(items().empty());
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_TRUE(state.isOnboarding());
    EXPECT_FALSE(state.wallet());
    env.restart();
    env.state().loadStoredState();
    EXPECT_TRUE(env.state().isOnboarding());
    EXPECT_FALSE(env.state().isKeyringLocked());
}

// An unsettled transaction of the wallet's Ethereum account, taking nonce `nonce`.
UnsettledAttempt ethereumAttempt(std::uint64_t nonce) {
    UnsettledAttempt attempt;
    attempt.account = "0x9858effd232b4033e47d90003d41ec34ecaeda94";
    attempt.id = "0x" + std::string(63, 'a') + std::to_string(nonce);
    attempt.wire = "0x02f86c";
    attempt.nonce = nonce;
    return attempt;
}

// A wallet restored into files beside a keyring that was gone: deleting it leaves the
// keyring's, whose lock screen then shows (or whose face, while the keyring is still gone),
// as at the next start; onboarding comes only once no wallet is stored anywhere. The wallet
// left (of the same phrase) keeps the unsettled transactions: they still bind at its unlock.
TEST(AppStateLifecycle, ADeleteThatLeavesTheKeyringsWalletShowsItsLockScreen) {
    CreatedWallet env;
    const Wallet inKeyring = *env.state().wallet();
    const auto restoreIntoFiles = [&] {
        env.keychain().setAbsent(true);
        env.restart();
        env.state().loadStoredState();
        env.state().restoreIntoFiles();
        test::runTask(env.state().createWallet(AppStateFixture::abandonPhrase(), "in files"));
        env.state().stopBackgroundTasks();
    };
    const std::filesystem::path folder = env.dataLocation() / "Quillmark";
    restoreIntoFiles();
    test::runTask(env.state().attemptLedger().keep(ethereumAttempt(7)));
    const std::string inFiles = env.state().wallet()->id;
    ASSERT_NE(inFiles, inKeyring.id);
    ASSERT_TRUE(std::filesystem::exists(folder / ("seed-" + inFiles)));

    // The keyring back: the files' wallet opens, and its deletion shows the keyring's.
    env.keychain().setAbsent(false);
    env.restart();
    AppState& state = env.state();
    state.loadStoredState();
    ASSERT_EQ(state.wallet()->id, inFiles);
    test::runTask(state.unlock("in files"));
    test::runTask(state.resetWallet());
    EXPECT_FALSE(std::filesystem::exists(folder / ("seed-" + inFiles)));
    EXPECT_FALSE(state.isOnboarding());
    EXPECT_FALSE(state.isKeyringLocked());
    EXPECT_TRUE(state.isLocked());
    EXPECT_EQ(state.wallet(), inKeyring);
    expectNoSessionTasks(state);
    EXPECT_EQ(state.attemptLedger().all().size(), 1u);
    test::runTask(state.unlock(password));
    EXPECT_FALSE(state.isLocked());
    state.stopBackgroundTasks();
    const std::vector<UnsettledAttempt> binding =
        state.attemptLedger().of(Chain::ethereum, ethereumAttempt(7).account);
    ASSERT_EQ(binding.size(), 1u);
    EXPECT_EQ(binding.front().id, ethereumAttempt(7).id);
    EXPECT_FALSE(binding.front().told);

    // Deleted while the keyring is still gone: its face, as a start without it shows.
    restoreIntoFiles();
    test::runTask(env.state().resetWallet());
    EXPECT_TRUE(env.state().isKeyringAbsent());
    EXPECT_FALSE(env.state().isOnboarding());
    EXPECT_FALSE(env.state().wallet());

    // Only the keyring's wallet left: its deletion ends in onboarding.
    env.keychain().setAbsent(false);
    env.state().retryLockedKeyring();
    ASSERT_EQ(env.state().wallet(), inKeyring);
    test::runTask(env.state().resetWallet());
    EXPECT_TRUE(env.state().isOnboarding());
    EXPECT_FALSE(env.state().wallet());
    EXPECT_TRUE(env.storedItems().accounts("com.quillmark.wallet").empty());
}

// The program shows its window before the keyring's probe answers: the first look at what
// is stored waits on the signing worker, the window meanwhile says that the keyring opens.
TEST(AppStateLifecycle, TheFirstLookWaitsForTheKeyringOffTheWindowsThread) {
    CreatedWallet env;
    const Wallet created = *env.state().wallet();
    env.keychain().hang(); // a keyring that does not answer
    env.restartAsTheProgramStarts(std::chrono::minutes(10));
    AppState& state = env.state();
    state.showStoredState(); // returns at once
    EXPECT_TRUE(state.isOpening());
    AppStateFixture::settle();
    EXPECT_TRUE(state.isOpening());
    EXPECT_FALSE(state.isOnboarding() && !state.isLocked()) << "onboarding before the probe";
    env.keychain().release();
    ASSERT_TRUE(test::RefreshFixture::waitUntil([&] { return !state.isOpening(); }));
    EXPECT_EQ(state.wallet(), created);
    EXPECT_TRUE(state.isLocked());
    EXPECT_FALSE(state.isOnboarding());
    state.showStoredState(); // from now on, as every showing of the window: at once
    EXPECT_FALSE(state.isOpening());
}

// "Delete Wallet" leaves nothing behind: no item of any wallet id (a create cut short, a
// restore over another wallet) in the keychain or in files, no token file, not even
// temporaries of writes cut short.
TEST(AppStateLifecycle, ResetLeavesNoItemOfAnyWalletNorTheTokenFile) {
    CreatedWallet env;
    const std::filesystem::path folder = env.dataLocation() / "Quillmark";
    const std::filesystem::path stale = folder / ".verify-x.Q7rT2b";
    writeFileAtomically(stale, Bytes{1, 2, 3});
    const std::string orphan = newWalletID();
    env.keychainManager().storeSeedAndPhrase(Bytes(64, 7), AppStateFixture::abandonPhrase(), orphan,
                                             "other");
    writeFileAtomically(folder / ("seed-" + newWalletID()), Bytes{1});
    writeFileAtomically(folder / "notes.txt", Bytes{1});
    ASSERT_EQ(env.state().tokenStore().add(Token{"0x1", "T", "T", 18, Chain::ethereum}),
              TokenStore::AddResult::added);
    test::runTask(env.state().resetWallet());
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(env.storedItems().accounts("com.quillmark.wallet").empty());
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"notes.txt"});
    EXPECT_TRUE(env.state().tokenStore().tokensByChain.empty());
    env.restart();
    env.state().loadStoredState();
    EXPECT_TRUE(env.state().isOnboarding());
    EXPECT_FALSE(env.state().hasUnreadableWallet());
}

nlohmann::json readJSON(const std::filesystem::path& file) {
    const std::optional<Bytes> bytes = readFileIfExists(file);
    return bytes ? nlohmann::json::parse(bytes->begin(), bytes->end()) : nlohmann::json();
}

unsigned modeOf(const std::filesystem::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

// The unsettled transactions kept in the wallet's folder are read at the unlock. An entry that
// does not read as one (not an object, a chain there is not, a nonce that is no number, nothing
// that binds it) is set aside in the file beside it, the wallet opens as ever, and the others
// are kept; a file that is no list at all goes aside whole. "Delete Wallet" removes both
// files, and so does a new wallet.
TEST(AppStateLifecycle, StoredAttemptsThatDoNotReadAreSetAsideAtTheUnlock) {
    CreatedWallet env;
    const std::filesystem::path file = env.dataLocation() / "Quillmark" / "unsettled-attempts.json";
    const std::filesystem::path aside = file.string() + ".unreadable";
    const std::vector<UnsettledAttempt> kept{ethereumAttempt(7), ethereumAttempt(8)};
    nlohmann::json unknownChain = attemptToJSON(kept[0]);
    unknownChain["chain"] = "dogecoin";
    nlohmann::json wordyNonce = attemptToJSON(kept[0]);
    wordyNonce["nonce"] = "seven";
    nlohmann::json bindsNothing = attemptToJSON(kept[0]);
    bindsNothing.erase("nonce");
    const nlohmann::json unreadable{42, unknownChain, wordyNonce, nullptr, bindsNothing};
    nlohmann::json stored{attemptToJSON(kept[0])};
    stored.insert(stored.end(), unreadable.begin(), unreadable.end());
    stored.push_back(attemptToJSON(kept[1]));
    writeFileAtomically(file, utf8View(stored.dump()));

    env.restart();
    env.state().loadStoredState();
    test::runTask(env.state().unlock(password));
    env.state().stopBackgroundTasks();
    EXPECT_FALSE(env.state().isLocked());
    EXPECT_EQ(env.state().attemptLedger().all(), kept);
    EXPECT_EQ(readJSON(aside), unreadable);
    EXPECT_EQ(modeOf(aside), 0600u);
    EXPECT_EQ(readJSON(file).size(), 2u);
    EXPECT_EQ(modeOf(file), 0600u);

    // No list at all: the whole text goes aside, beside what went aside before.
    writeFileAtomically(file, utf8View("[{\"chain\":"));
    env.restart();
    env.state().loadStoredState();
    test::runTask(env.state().unlock(password));
    env.state().stopBackgroundTasks();
    EXPECT_FALSE(env.state().isLocked());
    EXPECT_TRUE(env.state().attemptLedger().all().empty());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(readJSON(aside), unreadable);
    const std::filesystem::path secondAside = aside.string() + ".2";
    const std::optional<Bytes> whole = readFileIfExists(secondAside);
    ASSERT_TRUE(whole);
    EXPECT_EQ(std::string(whole->begin(), whole->end()), "[{\"chain\":");

    test::runTask(env.state().attemptLedger().keep(kept[0]));
    ASSERT_TRUE(std::filesystem::exists(file));
    test::runTask(env.state().resetWallet());
    EXPECT_TRUE(env.state().attemptLedger().all().empty());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(aside));
    EXPECT_FALSE(std::filesystem::exists(secondAside));

    // Left by an earlier wallet (written as if by one): a new wallet starts without them.
    writeFileAtomically(file, utf8View(stored.dump()));
    writeFileAtomically(aside, utf8View(unreadable.dump()));
    test::runTask(env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    env.state().stopBackgroundTasks();
    EXPECT_TRUE(env.state().attemptLedger().all().empty());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(aside));
}

TEST(AppStateLifecycle, RecordFallsBackToFilesWhenTheKeychainRefusesItsSave) {
    AppStateFixture env;
    env.keychain().failSaves(-25293, {"wallet-metadata"});
    env.state().loadStoredState();
    test::runTask(env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    const Wallet created = *env.state().wallet();
    EXPECT_TRUE(env.keychainManager().useFileFallback());
    const std::optional<Bytes> bytes =
        readFileIfExists(env.dataLocation() / "Quillmark" / "wallet-metadata");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(decodeWalletMetadata(*bytes), created);
    EXPECT_FALSE(env.storedItems().load("com.quillmark.wallet", "wallet-metadata"));
    test::runTask(env.state().generateBTCAddress()); // later record writes go to the file too

    env.restart();
    env.state().loadStoredState();
    test::runTask(env.state().unlock(password));
    EXPECT_EQ(env.state().bitcoinAccounts()[0].addresses.size(), 6u);
}

TEST(AppStateLifecycle, AFailedCreationChangesNothing) {
    AppStateFixture env;
    env.state().loadStoredState();
    env.keychain().failSaves(-25293);
    blockDataFolder(env);
    EXPECT_THROW(
        test::runTask(env.state().createWallet(AppStateFixture::abandonPhrase(), password)), Error);
    EXPECT_FALSE(env.state().wallet());
    EXPECT_TRUE(env.state().isOnboarding());
    expectNoSessionTasks(env.state());
}

TEST(AppStateAccounts, DeletionIsRefusedUnlessTheAddressIsKnownEmpty) {
    CreatedWallet env;
    AppState& state = env.state();
    const std::vector<BTCAccountState> before = state.bitcoinAccounts();
    QSignalSpy recordSpy(&state, &AppState::walletChanged);
    test::runTask(
        state.deleteBTCAddress(2)); // never fetched: its zero balance is not known to be zero
    EXPECT_EQ(state.bitcoinAccounts(), before);

    markFetched(state, 3);
    // A refusal of the rule is no failure to report.
    EXPECT_EQ(test::runTask(state.deleteBTCAddress(0)), // the first address stays for good
              AddressChangeResult::unchanged);
    test::runTask(state.deleteBTCAddress(5)); // no address has this index
    test::runTask(state.deleteBTCAddress(3)); // holds coins
    std::vector<BTCAccountState> withHistory = state.bitcoinAccounts();
    withHistory[0].addresses[4].txCount = 2;
    state.setBitcoinAccounts(withHistory);
    test::runTask(state.deleteBTCAddress(4)); // has a history
    EXPECT_EQ(state.bitcoinAccounts(), withHistory);
    EXPECT_EQ(recordSpy.count(), 0);
}

TEST(AppStateAccounts, AFailedRecordWriteLeavesTheAddressListAsItWas) {
    CreatedWallet env;
    AppState& state = env.state();
    markFetched(state);
    const std::vector<BTCAccountState> before = state.bitcoinAccounts();
    const Wallet record = *state.wallet();
    env.keychain().failSaves(-25293);
    const std::filesystem::path folder = blockDataFolder(env);
    EXPECT_EQ(test::runTask(state.generateBTCAddress()), AddressChangeResult::failed);
    EXPECT_EQ(test::runTask(state.deleteBTCAddress(2)), AddressChangeResult::failed);
    EXPECT_EQ(state.bitcoinAccounts(), before);
    EXPECT_EQ(state.wallet(), record);

    // Once storage works again, the next address takes the index the failed one would have.
    std::filesystem::remove(folder);
    EXPECT_EQ(test::runTask(state.generateBTCAddress()), AddressChangeResult::changed);
    EXPECT_EQ(state.bitcoinAccounts()[0].addresses.back().derivationPath, "m/84'/0'/0'/0/5");
}

// A keyring locked while the wallet is open (a screen locker) holds the record: a new address
// asks it to unlock first (its own prompt) and is stored there. Written to a file instead, the
// address showed now and was gone at the next start, which reads the keyring's record first.
TEST(AppStateAccounts, AnAddressAddedWhileTheKeyringIsLockedUnlocksItFirst) {
    CreatedWallet env;
    AppState& state = env.state();
    const std::filesystem::path recordFile = env.dataLocation() / "Quillmark" / "wallet-metadata";
    env.keychain().setLocked(true);
    const std::size_t callsBefore = env.keychain().calls().size();
    {
        // Dismissed: nothing stored, and the caller hears why (the window says so).
        const std::jthread user = env.keychain().answerWhenPrompted(false);
        EXPECT_EQ(test::runTask(state.generateBTCAddress()), AddressChangeResult::keyringLocked);
    }
    // The prompt came before any write: a real keyring answers a write into it while locked
    // with a prompt of its own, and the user would be asked twice.
    const std::vector<std::string> calls = env.keychain().calls();
    const auto firstCall = calls.begin() + static_cast<std::ptrdiff_t>(callsBefore);
    EXPECT_EQ(std::count(firstCall, calls.end(), "save:wallet-metadata"), 0);
    EXPECT_EQ(std::count(firstCall, calls.end(), "unlock"), 1);
    EXPECT_EQ(state.bitcoinAccounts()[0].addresses.size(), 5u);
    EXPECT_EQ(state.wallet()->btcAddressCount, 5);
    {
        const std::jthread user = env.keychain().answerWhenPrompted(true);
        EXPECT_EQ(test::runTask(state.generateBTCAddress()), AddressChangeResult::changed);
    }
    EXPECT_EQ(state.bitcoinAccounts()[0].addresses.size(), 6u);
    EXPECT_FALSE(std::filesystem::exists(recordFile));
    EXPECT_FALSE(env.keychainManager().useFileFallback());

    env.restart();
    env.state().loadStoredState();
    test::runTask(env.state().unlock(password));
    EXPECT_EQ(env.state().bitcoinAccounts()[0].addresses.size(), 6u);
}

TEST(AppStateRefresh, NotificationsAfterTheWalletWasDeletedAreIgnored) {
    AppStateFixture env;
    env.electrum().answer("blockchain.headers.subscribe", {{"height", 800'000}, {"hex", "00"}});
    env.electrum().answer("blockchain.scripthash.get_balance",
                          {{"confirmed", 0}, {"unconfirmed", 0}});
    env.electrum().answer("blockchain.scripthash.get_history", nlohmann::json::array());
    env.electrum().answer("blockchain.scripthash.subscribe", nullptr);
    env.state().loadStoredState();
    env.state().refreshOrchestrator().setSuspendedForTesting(false);
    test::runTask(env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    ASSERT_TRUE(
        test::RefreshFixture::waitUntil([&] { return env.state().btcSubscriptionsReady(); }));

    // The reset keeps the Electrum connection (it belongs to the pools), and the server still
    // knows the deleted wallet's addresses: its notifications must start nothing.
    test::runTask(env.state().resetWallet());
    AppStateFixture::settle();
    const auto requests = env.electrum().requestCount();
    env.electrum().notify("blockchain.headers.subscribe",
                          nlohmann::json::array({{{"height", 900'000}, {"hex", "00"}}}));
    test::RefreshFixture::spin(400);
    EXPECT_EQ(env.electrum().requestCount(), requests);
    EXPECT_NE(env.state().btcBlockHeight(), 900'000);
    EXPECT_FALSE(env.state().isRefreshing());
}

} // namespace
} // namespace qm
