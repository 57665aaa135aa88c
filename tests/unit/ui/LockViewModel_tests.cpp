// The lock screen's model over a real application state: wrong and right passwords, the
// other failures of opening the seed, and the forgotten-password reset.

#include "AppStateFixture.h"
#include "core/storage/KeychainManager.h"
#include "ui/onboarding/LockViewModel.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace qm {
namespace {

using test::AppStateFixture;

constexpr const char* password = "correct horse 1";

// A stored wallet of the test phrase, locked.
void createAndLock(AppStateFixture& env) {
    env.state().loadStoredState();
    env.state().createWallet(AppStateFixture::abandonPhrase(), password);
    env.state().lock();
    ASSERT_TRUE(env.state().isLocked());
}

TEST(LockViewModel, AWrongPasswordShowsTheLineAndEmptiesTheFieldTheRightOneUnlocks) {
    AppStateFixture env;
    createAndLock(env);
    LockViewModel vm;
    vm.setAppState(&env.state());
    QSignalSpy cleared(&vm, &LockViewModel::passwordCleared);
    QSignalSpy busy(&vm, &LockViewModel::busyChanged);

    struct Attempt {
        QString typed;
        bool unlocks;
    };
    // The empty field reaches the unlock through Return and is simply wrong.
    for (const Attempt& attempt :
         {Attempt{"", false}, Attempt{"correct horse 1 ", false}, Attempt{password, true}}) {
        vm.setPassword(attempt.typed);
        const int clearedBefore = static_cast<int>(cleared.count());
        vm.unlock();
        EXPECT_FALSE(vm.isUnlocking());
        if (attempt.unlocks) {
            EXPECT_FALSE(vm.errorMessage());
            EXPECT_FALSE(env.state().isLocked());
            EXPECT_EQ(cleared.count(), clearedBefore);
            EXPECT_TRUE(vm.hasPassword()); // left as it is; the screen goes away
        } else {
            EXPECT_EQ(vm.errorText(), "Incorrect password") << attempt.typed.toStdString();
            EXPECT_EQ(cleared.count(), clearedBefore + 1);
            EXPECT_FALSE(vm.hasPassword());
            EXPECT_TRUE(env.state().isLocked());
            // Typing leaves the line in place until the next attempt.
            vm.setPassword("x");
            EXPECT_EQ(vm.errorText(), "Incorrect password");
        }
    }
    EXPECT_EQ(busy.count(), 6); // on and off for each attempt

    // Through the button: the busy state shows before the key derivation runs, and the
    // error line of the last attempt is gone by then.
    env.state().lock();
    vm.setPassword("wrong password");
    vm.unlock();
    ASSERT_TRUE(vm.errorMessage());
    vm.setPassword(password);
    QSignalSpy finished(&vm, &LockViewModel::finished);
    vm.submit();
    EXPECT_TRUE(vm.isUnlocking());
    EXPECT_FALSE(vm.errorMessage());
    EXPECT_TRUE(env.state().isLocked());
    vm.submit(); // a second press while busy starts nothing
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(vm.isUnlocking());
    EXPECT_FALSE(env.state().isLocked());
    AppStateFixture::settle();
}

TEST(LockViewModel, OtherFailuresShowTheirOwnTextAndTheResetReturnsToOnboarding) {
    AppStateFixture env;
    createAndLock(env);
    const std::string id = env.state().wallet()->id;
    LockViewModel vm;
    vm.setAppState(&env.state());

    // The sealed seed is gone.
    env.keychainManager().deleteItem("seed-" + id);
    vm.setPassword(password);
    vm.unlock();
    EXPECT_EQ(vm.errorText(), "Item not found in keychain");
    EXPECT_FALSE(vm.hasPassword());
    EXPECT_TRUE(env.state().isLocked());

    // The keychain cannot be read.
    env.keychain().failLoads(-25293);
    vm.setPassword(password);
    vm.unlock();
    EXPECT_TRUE(vm.errorText().startsWith("Keychain load failed: "))
        << vm.errorText().toStdString();
    EXPECT_TRUE(env.state().isLocked());

    // The forgotten-password reset.
    env.keychain().failLoads(0);
    vm.resetWallet();
    EXPECT_TRUE(env.state().isOnboarding());
    EXPECT_FALSE(env.state().isLocked());
    EXPECT_FALSE(env.state().wallet());
    EXPECT_FALSE(env.keychainManager().hasSeed(id));
    EXPECT_FALSE(env.keychainManager().loadWalletMetadata());

    // Without a stored wallet an unlock does nothing and shows no error.
    vm.setPassword(password);
    vm.unlock();
    EXPECT_FALSE(vm.errorMessage());
    EXPECT_TRUE(vm.hasPassword());
}

} // namespace
} // namespace qm
