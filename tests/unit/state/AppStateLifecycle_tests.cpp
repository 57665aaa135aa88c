// The wallet's lifecycle end to end over a keychain in memory, a temporary folder and
// loopback servers that count every request.

#include "AppStateFixture.h"
#include "core/crypto/BIP39.h"
#include "core/model/Wallet.h"
#include "platform/AtomicFile.h"
#include "services/network/NetworkManager.h"
#include "state/WalletRecord.h"

#include <QSignalSpy>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using test::AppStateFixture;

constexpr const char* password = "correct horse 1";

std::vector<std::string> itemsOf(const std::string& id) {
    return {"seed-" + id, "salt-" + id, "verify-" + id, "mnemonic-" + id,
            std::string(KeychainManager::walletMetadataItem)};
}

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
        state().createWallet(abandonPhrase(), password);
    }
};

void expectNoSessionTasks(const AppState& state) {
    EXPECT_TRUE(state.bitcoinAccounts().empty() && state.ethereumAccounts().empty() &&
                state.arbitrumAccounts().empty() && state.polygonAccounts().empty() &&
                state.solanaAccounts().empty());
    EXPECT_FALSE(state.refreshTask());
    EXPECT_FALSE(state.activeRefreshTask());
    EXPECT_FALSE(state.btcSubscriptionTask());
    EXPECT_FALSE(state.lastDerivedMasterKey());
}

TEST(AppStateLifecycle, TheStatesFromLaunchToResetWithoutTouchingTheNetwork) {
    AppStateFixture env;
    AppState& state = env.state();

    // Load without a stored wallet: onboarding. Unlock then is no error and changes nothing.
    state.loadStoredState();
    EXPECT_NO_THROW(state.unlock(password));
    EXPECT_TRUE(state.isOnboarding());
    EXPECT_FALSE(state.isLocked());
    EXPECT_FALSE(state.wallet());
    expectNoSessionTasks(state);
    AppStateFixture::settle();
    EXPECT_EQ(env.networkRequests(), 0);

    // Create: unlocked, five accounts, the new record stored, tasks running.
    state.createWallet(AppStateFixture::abandonPhrase(), password);
    ASSERT_TRUE(state.wallet());
    const Wallet created = *state.wallet();
    EXPECT_TRUE(isCanonicalUUID(created.id));
    EXPECT_EQ(created.id, QString::fromStdString(created.id).toUpper().toStdString());
    EXPECT_FALSE(state.isOnboarding());
    EXPECT_FALSE(state.isLocked());
    EXPECT_TRUE(state.lastDerivedMasterKey());
    EXPECT_TRUE(state.activeRefreshTask() && state.refreshTask() && state.btcSubscriptionTask());
    EXPECT_EQ(env.walletConnect().setups, 0); // creation does not set WalletConnect up
    for (const std::string& item : itemsOf(created.id)) {
        EXPECT_TRUE(env.keychainManager().loadItem(item)) << item;
    }
    EXPECT_EQ(env.keychainManager().loadMnemonic(created.id, password),
              AppStateFixture::abandonPhrase());

    // Lock: the record stays; tasks, key and lists go.
    const TaskHandle loop = *state.refreshTask();
    state.lock();
    EXPECT_TRUE(loop.isCancelled());
    EXPECT_TRUE(state.isLocked());
    EXPECT_EQ(state.wallet(), created);
    expectNoSessionTasks(state);

    // A new process loads the stored wallet, locked.
    env.restart();
    AppState& reloaded = env.state();
    reloaded.loadStoredState();
    EXPECT_EQ(reloaded.wallet(), created);
    EXPECT_FALSE(reloaded.isOnboarding());
    EXPECT_TRUE(reloaded.isLocked());
    AppStateFixture::settle();
    EXPECT_EQ(env.networkRequests(), 0);

    // A wrong password changes nothing at all.
    QSignalSpy lockSpy(&reloaded, &AppState::isLockedChanged);
    QSignalSpy listSpy(&reloaded, &AppState::bitcoinAccountsChanged);
    expectKeychainError([&] { reloaded.unlock("wrong password"); },
                        KeychainError::Code::wrongPassword);
    EXPECT_TRUE(reloaded.isLocked());
    expectNoSessionTasks(reloaded);
    EXPECT_EQ(lockSpy.count(), 0);
    EXPECT_EQ(listSpy.count(), 0);
    AppStateFixture::settle();
    EXPECT_EQ(env.walletConnect().setups, 0);
    EXPECT_EQ(env.networkRequests(), 0);

    // The right password: unlocked, the same accounts, WalletConnect set up once per unlock.
    reloaded.unlock(password);
    EXPECT_FALSE(reloaded.isLocked());
    ASSERT_EQ(reloaded.bitcoinAccounts().size(), 1u);
    EXPECT_EQ(reloaded.bitcoinAccounts()[0].account.address,
              "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu");
    AppStateFixture::settle();
    EXPECT_EQ(env.walletConnect().setups, 1);
    const TaskHandle firstLoop = *reloaded.refreshTask();
    reloaded.unlock(password);
    EXPECT_TRUE(firstLoop.isCancelled());
    EXPECT_FALSE(*reloaded.refreshTask() == firstLoop);
    AppStateFixture::settle();
    EXPECT_EQ(env.walletConnect().setups, 2);

    // Reset: every item of the wallet is gone, the phrase too; back to onboarding.
    reloaded.resetWallet();
    EXPECT_FALSE(reloaded.wallet());
    EXPECT_FALSE(reloaded.isLocked());
    EXPECT_TRUE(reloaded.isOnboarding());
    expectNoSessionTasks(reloaded);
    for (const std::string& item : itemsOf(created.id)) {
        EXPECT_FALSE(env.keychainManager().loadItem(item)) << item;
    }
    reloaded.loadStoredState();
    EXPECT_TRUE(reloaded.isOnboarding());
    expectKeychainError([&] { reloaded.privateKey(Chain::ethereum, 0, password); },
                        KeychainError::Code::itemNotFound);
}

TEST(AppStateLifecycle, ARecordWhoseSeedIsGoneStartsInOnboarding) {
    CreatedWallet env;
    env.keychainManager().deleteItem("seed-" + env.state().wallet()->id);
    env.restart();
    env.state().loadStoredState();
    EXPECT_TRUE(env.state().isOnboarding());
    EXPECT_FALSE(env.state().isLocked());
    EXPECT_FALSE(env.state().wallet());
}

TEST(AppStateLifecycle, ShowingTheWindowAgainLocksForReal) {
    CreatedWallet env;
    AppState& state = env.state();
    const TaskHandle loop = *state.refreshTask();
    const TaskHandle subscriptions = *state.btcSubscriptionTask();
    const TaskHandle refresh = *state.activeRefreshTask();

    state.loadStoredState(); // the root view shown again after its window was closed
    EXPECT_TRUE(state.isLocked());
    EXPECT_FALSE(state.isOnboarding());
    EXPECT_TRUE(loop.isCancelled());
    EXPECT_TRUE(subscriptions.isCancelled());
    EXPECT_TRUE(refresh.isCancelled());
    expectNoSessionTasks(state);
}

TEST(AppStateLifecycle, AnUnreadableKeychainAtLaunchIsNotAMissingWallet) {
    CreatedWallet env;
    const Wallet created = *env.state().wallet();

    env.restart();
    env.keychain().failLoads(-25308); // a keyring that is locked
    AppState& state = env.state();
    state.loadStoredState();
    EXPECT_FALSE(state.isOnboarding()) << "onboarding could write a new wallet over the old one";
    EXPECT_TRUE(state.isLocked());
    EXPECT_FALSE(state.wallet());
    expectKeychainError([&] { state.unlock(password); }, KeychainError::Code::loadFailed);
    EXPECT_TRUE(state.isLocked());

    // Once the keyring answers, the same unlock reads the record and opens the wallet.
    env.keychain().failLoads(0);
    state.unlock(password);
    EXPECT_EQ(state.wallet(), created);
    EXPECT_FALSE(state.isLocked());
    EXPECT_EQ(state.bitcoinAccounts().size(), 1u);
}

TEST(AppStateLifecycle, RecordFallsBackToFilesWhenTheKeychainRefusesItsSave) {
    AppStateFixture env;
    AppState& state = env.state();
    ASSERT_FALSE(env.keychainManager().useFileFallback());
    env.keychain().failSaves(-25293, {"wallet-metadata"});
    state.loadStoredState();
    state.createWallet(AppStateFixture::abandonPhrase(), password);
    const Wallet created = *state.wallet();

    // The record went to a file; the seed items, saved before, stay in the keychain.
    EXPECT_TRUE(env.keychainManager().useFileFallback());
    const std::filesystem::path file = env.dataLocation() / "Quillmark" / "wallet-metadata";
    const std::optional<Bytes> bytes = readFileIfExists(file);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(decodeWalletMetadata(*bytes), created);
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_TRUE(env.storedItems().load("com.quillmark.wallet", "seed-" + created.id));
    EXPECT_FALSE(env.storedItems().load("com.quillmark.wallet", "wallet-metadata"));

    // Later record writes go straight to the file.
    const std::size_t savesBefore = env.keychain().calls().size();
    state.generateBTCAddress();
    for (std::size_t i = savesBefore; i < env.keychain().calls().size(); ++i) {
        EXPECT_NE(env.keychain().calls()[i], "save:wallet-metadata");
    }
    EXPECT_EQ(decodeWalletMetadata(*readFileIfExists(file)).btcAddressCount, 6);

    // A new process finds the record in its file and the seed in the keychain.
    env.restart();
    env.state().loadStoredState();
    ASSERT_TRUE(env.state().wallet());
    EXPECT_EQ(env.state().wallet()->btcAddressCount, 6);
    env.state().unlock(password);
    EXPECT_EQ(env.state().bitcoinAccounts()[0].addresses.size(), 6u);
}

TEST(AppStateLifecycle, AFailedCreationChangesNothing) {
    AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    // No keychain save works and the folder cannot be made (a file stands in its place).
    env.keychain().failSaves(-25293);
    const std::filesystem::path folder = env.dataLocation() / "Quillmark";
    std::filesystem::remove_all(folder);
    writeFileAtomically(folder, Bytes{'x'});
    EXPECT_THROW(state.createWallet(AppStateFixture::abandonPhrase(), password), Error);
    EXPECT_FALSE(state.wallet());
    EXPECT_TRUE(state.isOnboarding());
    EXPECT_FALSE(state.isLocked());
    expectNoSessionTasks(state);
}

TEST(AppStateLifecycle, ResetRemovesWhatItCanWhenOneItemResists) {
    CreatedWallet env;
    AppState& state = env.state();
    env.keychain().failRemoves(-25244);
    const std::size_t before = env.keychain().calls().size();
    state.resetWallet();
    EXPECT_TRUE(state.isOnboarding());
    EXPECT_FALSE(state.wallet());
    // Every item was tried, not only the first.
    const std::vector<std::string> calls = env.keychain().calls();
    EXPECT_EQ(std::count_if(calls.begin() + before, calls.end(),
                            [](const std::string& call) { return call.starts_with("remove:"); }),
              5);
}

TEST(AppStateLifecycle, TokenFileIsLoadedAndAnUnreadableOneEmptiesTheList) {
    AppStateFixture env;
    Token token{"0x6B175474E89094C44Da98b954EedeAC495271d0F", "DAI", "Dai", 18, Chain::ethereum};
    ASSERT_EQ(env.tokenStore().add(token), TokenStore::AddResult::added);
    env.tokenStore().tokensByChain.clear();
    env.state().loadStoredState();
    EXPECT_EQ(env.tokenStore().tokens(Chain::ethereum), std::vector<Token>{token});

    writeFileAtomically(env.tokenStore().fileURL(), Bytes{'{', 'x'});
    env.state().loadStoredState();
    EXPECT_TRUE(env.tokenStore().tokensByChain.empty());
}

} // namespace
} // namespace qm
