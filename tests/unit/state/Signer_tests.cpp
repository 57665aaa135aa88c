// The signing worker: a lock during a running unlock, jobs queued behind each other, a failing
// keychain, and the keychain touched by the worker alone.
#include "AppStateFixture.h"
#include "RunTask.h"
#include "core/crypto/BIP32.h"
#include "core/encoding/Hex.h"
#include "platform/AtomicFile.h"
#include "state/refresh/RefreshOrchestrator.h"
#include "state/signing/Signer.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::AppStateFixture;
using test::runTask;

constexpr const char* password = "correct horse 1";

struct UnlockedWallet : AppStateFixture {
    UnlockedWallet() {
        state().loadStoredState();
        runTask(state().createWallet(abandonPhrase(), password));
        state().stopBackgroundTasks();
    }
};

// Waits until the worker has entered the keychain more than `count` times in all.
void waitForKeychainCall(test::FaultyKeychain& keychain, std::size_t count) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return keychain.calls().size() > count; }, 10'000));
}

bool isGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// The code of the KeychainError the task ends with, and whether it arrived on the GUI thread.
struct Failure {
    std::optional<KeychainError::Code> code;
    bool onGuiThread = false;
};

template <typename T> QCoro::Task<Failure> failureOf(QCoro::Task<T> task) {
    Failure failure;
    try {
        co_await std::move(task);
    } catch (const KeychainError& error) {
        failure.code = error.code();
        failure.onGuiThread = isGuiThread();
    }
    co_return failure;
}

template <typename T>
QCoro::Task<void> noteEnd(QCoro::Task<T> task, std::vector<int>& ends, int n) {
    co_await std::move(task);
    ends.push_back(n);
}

TEST(Signer, ALockDuringARunningUnlockWinsAndTheNextUnlockOpens) {
    UnlockedWallet env;
    AppState& state = env.state();
    state.lock();
    const std::size_t before = env.keychain().calls().size();
    env.keychain().hang();
    QCoro::Task<void> unlocking = state.unlock(password);
    waitForKeychainCall(env.keychain(), before); // the worker is inside the opening
    EXPECT_TRUE(state.isLocked());
    state.lock();
    env.keychain().release();
    runTask(std::move(unlocking));
    EXPECT_TRUE(state.isLocked());
    EXPECT_TRUE(state.bitcoinAccounts().empty() && state.evmAccounts(Chain::ethereum).empty() &&
                state.solanaAccounts().empty());
    EXPECT_FALSE(state.refreshOrchestrator().refreshTask() ||
                 state.refreshOrchestrator().activeRefreshTask());
    EXPECT_FALSE(runTask(state.signer().holdsMasterKey()));

    runTask(state.unlock(password));
    EXPECT_FALSE(state.isLocked());
    EXPECT_TRUE(runTask(state.signer().holdsMasterKey()));
    state.lock();
    AppStateFixture::settle();
}

TEST(Signer, TwoSigningsQueuedRunOnTheWorkerOneAfterTheOtherInOrder) {
    UnlockedWallet env;
    Signer& signer = env.state().signer();
    const std::string id = env.state().wallet()->id;
    std::vector<int> started; // written on the worker, read after both ended
    bool offGuiThread = true;
    const auto signWith = [&](int n) {
        return [&started, &offGuiThread, n](const SecureBytes& key) {
            offGuiThread = offGuiThread && !isGuiThread();
            started.push_back(n);
            return bytesToPlainHex(key.view());
        };
    };
    env.keychain().hang();
    QCoro::Task<std::string> first =
        signer.withPrivateKey(id, Chain::ethereum, 0, password, signWith(1));
    QCoro::Task<std::string> second =
        signer.withPrivateKey(id, Chain::bitcoin, 0, password, signWith(2));
    std::vector<int> ended;
    QCoro::Task<void> firstEnd = noteEnd(std::move(first), ended, 1);
    QCoro::Task<void> secondEnd = noteEnd(std::move(second), ended, 2);
    env.keychain().release();
    runTask(std::move(secondEnd));
    runTask(std::move(firstEnd));
    EXPECT_EQ(started, (std::vector<int>{1, 2}));
    EXPECT_EQ(ended, (std::vector<int>{1, 2}));
    EXPECT_TRUE(offGuiThread);

    // The published key of the test phrase at m/44'/60'/0'/0/0; refusals keep the wallet open.
    const auto hex = [](const SecureBytes& key) { return bytesToPlainHex(key.view()); };
    EXPECT_EQ(runTask(signer.withPrivateKey(id, Chain::ethereum, 0, password, hex)),
              "1ab42cc412b618bdea3a599e3c9bae199ebf030895b039e9db1e30dafb12b727");
    EXPECT_EQ(runTask(failureOf(signer.withPrivateKey(id, Chain::ethereum, 0, "nope", hex))).code,
              KeychainError::Code::wrongPassword);
    EXPECT_THROW(runTask(signer.withPrivateKey(id, Chain::bitcoin, -1, password, hex)), BIP32Error);
    EXPECT_THROW(runTask(signer.withPrivateKey(id, Chain::ethereum, 0x80000000LL, password, hex)),
                 BIP32Error);
    EXPECT_FALSE(env.state().isLocked());
}

TEST(Signer, AFailingKeychainSurfacesItsErrorOnTheGuiThread) {
    UnlockedWallet env;
    AppState& state = env.state();
    Signer& signer = state.signer();
    const std::string id = state.wallet()->id;
    state.lock();
    env.keychain().failLoads(-25308);
    const auto noKey = [](const SecureBytes&) { return 0; };
    const std::vector<Failure> failures{
        runTask(failureOf(state.unlock(password))),
        runTask(failureOf(signer.openPhrase(id, password))),
        runTask(failureOf(signer.withPrivateKey(id, Chain::solana, 0, password, noKey))),
    };
    for (const Failure& failure : failures) {
        EXPECT_EQ(failure.code, KeychainError::Code::loadFailed);
        EXPECT_TRUE(failure.onGuiThread);
    }
    EXPECT_TRUE(state.isLocked());
    env.keychain().failLoads(0);

    // A creation whose every store fails: the error, and nothing opened.
    AppStateFixture fresh;
    fresh.state().loadStoredState();
    fresh.keychain().failSaves(-25293);
    const std::filesystem::path folder = fresh.dataLocation() / "Quillmark";
    std::filesystem::remove_all(folder);
    writeFileAtomically(folder, Bytes{'x'}); // no file can be written either
    EXPECT_THROW(runTask(fresh.state().createWallet(AppStateFixture::abandonPhrase(), password)),
                 Error);
    EXPECT_TRUE(fresh.state().isOnboarding());
    EXPECT_FALSE(runTask(fresh.state().signer().holdsMasterKey()));
}

TEST(Signer, OnlyTheWorkerTouchesTheKeychainAfterStartUp) {
    AppStateFixture env;
    AppState& state = env.state();
    const std::size_t startUp = env.keychain().calls().size(); // the probe
    state.loadStoredState();
    runTask(state.createWallet(AppStateFixture::abandonPhrase(), password));
    state.stopBackgroundTasks();
    runTask(state.generateBTCAddress());
    EXPECT_EQ(state.bitcoinAccounts().at(0).addresses.size(), 6u);
    state.lock();
    runTask(state.unlock(password));
    state.stopBackgroundTasks();
    EXPECT_EQ(runTask(state.signer().openPhrase(state.wallet()->id, password)).words,
              AppStateFixture::abandonPhrase());
    runTask(state.resetWallet());
    EXPECT_TRUE(state.isOnboarding());

    const std::vector<std::thread::id> threads = env.keychain().callThreads();
    ASSERT_GT(threads.size(), startUp + 10);
    const std::thread::id gui = std::this_thread::get_id();
    for (std::size_t i = startUp; i < threads.size(); ++i) {
        EXPECT_NE(threads[i], gui) << env.keychain().calls()[i];
    }
}

} // namespace
} // namespace qm
