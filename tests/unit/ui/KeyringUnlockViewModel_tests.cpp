// The "keyring is locked" face: the keyring's own prompt, dismissed or answered, then the
// stored wallet read again; the prompt waits on its own thread, and a face that goes away
// closes it.

#include "AppStateFixture.h"
#include "RunTask.h"
#include "state/signing/Signer.h"
#include "ui/onboarding/KeyringUnlockViewModel.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace qm {
namespace {

using test::AppStateFixture;

constexpr const char* password = "correct horse 3";

bool waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 10000);
}

// A wallet in the keyring, which is locked when the program starts again.
struct LockedKeyring {
    AppStateFixture env;
    Wallet created;

    LockedKeyring() {
        env.state().loadStoredState();
        test::runTask(env.state().createWallet(AppStateFixture::abandonPhrase(), password));
        env.state().stopBackgroundTasks();
        created = *env.state().wallet();
        env.keychain().setLocked(true);
        env.restart();
        env.state().loadStoredState();
    }
};

TEST(KeyringUnlockViewModel, ThePromptUnlocksAndTheWalletIsReadOrItStaysLocked) {
    LockedKeyring keyring;
    AppState& state = keyring.env.state();
    ASSERT_TRUE(state.isKeyringLocked());
    KeyringUnlockViewModel vm;
    vm.setAppState(&state);

    vm.unlock();
    EXPECT_TRUE(vm.isUnlocking());
    ASSERT_TRUE(waitFor([&] { return keyring.env.keychain().promptOpen(); }));
    // The signing worker is free meanwhile: the window's other work goes on.
    EXPECT_FALSE(test::runTask(state.signer().holdsMasterKey()));
    vm.unlock(); // a second press while the prompt is open opens no second prompt
    keyring.env.keychain().answerPrompt(false);
    ASSERT_TRUE(waitFor([&] { return !vm.isUnlocking(); }));
    EXPECT_EQ(vm.errorMessage(), "The keyring is still locked.");
    EXPECT_TRUE(state.isKeyringLocked());
    EXPECT_FALSE(state.wallet());

    vm.unlock();
    EXPECT_TRUE(vm.errorMessage().isEmpty());
    ASSERT_TRUE(waitFor([&] { return keyring.env.keychain().promptOpen(); }));
    keyring.env.keychain().answerPrompt(true);
    ASSERT_TRUE(waitFor([&] { return !vm.isUnlocking(); }));
    EXPECT_TRUE(vm.errorMessage().isEmpty());
    EXPECT_FALSE(state.isKeyringLocked());
    EXPECT_EQ(state.wallet(), keyring.created);
    EXPECT_TRUE(state.isLocked()); // the lock screen, for the wallet's own password
    test::runTask(state.unlock(password));
    EXPECT_FALSE(state.isLocked());
    state.stopBackgroundTasks();
}

TEST(KeyringUnlockViewModel, AFaceThatGoesAwayClosesItsPrompt) {
    LockedKeyring keyring;
    auto vm = std::make_unique<KeyringUnlockViewModel>();
    vm->setAppState(&keyring.env.state());
    vm->unlock();
    ASSERT_TRUE(waitFor([&] { return keyring.env.keychain().promptOpen(); }));
    vm.reset();
    EXPECT_TRUE(waitFor([&] { return !keyring.env.keychain().promptOpen(); }));
    AppStateFixture::settle();
    EXPECT_TRUE(keyring.env.state().isKeyringLocked());
    // "Try Again" reads again without a prompt: found once the keyring opened elsewhere.
    KeyringUnlockViewModel again;
    again.setAppState(&keyring.env.state());
    keyring.env.keychain().setLocked(false);
    again.tryAgain();
    EXPECT_FALSE(keyring.env.state().isKeyringLocked());
    EXPECT_EQ(keyring.env.state().wallet(), keyring.created);
}

} // namespace
} // namespace qm
