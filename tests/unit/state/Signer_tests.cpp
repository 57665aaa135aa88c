// The signer: a lock during a running unlock, signings queued behind each other and the keys
// they use, one seed opening per Bitcoin send, a lock winning over every queued or running
// signing, a failing keychain, and the keychain touched by the worker alone.
#include "AppStateFixture.h"
#include "RunTask.h"
#include "core/crypto/BIP32.h"
#include "core/encoding/Hex.h"
#include "platform/AtomicFile.h"
#include "services/bitcoin/ElectrumScriptHash.h"
#include "services/evm/ETHSigner.h"
#include "state/refresh/RefreshOrchestrator.h"
#include "state/signing/Signer.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <algorithm>
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

// An EVM transfer to sign; `nonce` tells signings apart.
ETHTransaction transfer(std::uint64_t nonce) {
    ETHTransaction transaction;
    transaction.chainID = 1;
    transaction.nonce = nonce;
    transaction.gasLimit = 21'000;
    transaction.to = Bytes(20, 0x11);
    return transaction;
}

// The published key of the test phrase at m/44'/60'/0'/0/0.
const Bytes& abandonEthereumKey() {
    static const Bytes key =
        *hexToBytes("1ab42cc412b618bdea3a599e3c9bae199ebf030895b039e9db1e30dafb12b727");
    return key;
}

std::size_t seedLoads(test::FaultyKeychain& keychain, std::size_t from = 0) {
    const std::vector<std::string> calls = keychain.calls();
    return static_cast<std::size_t>(
        std::count_if(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end(),
                      [](const std::string& call) { return call.starts_with("load:seed-"); }));
}

// A coin of the address at `position` of the first account, and its index.
BTCSpend coinOf(const AppState& state, std::size_t position, std::uint64_t value) {
    const BTCAddressInfo& address = state.bitcoinAccounts().at(0).addresses.at(position);
    BTCSpend spend;
    spend.derivationIndex = address.derivationIndex;
    spend.utxo.txHash = std::string(63, '0') + std::to_string(position);
    spend.utxo.value = value;
    spend.utxo.scriptPubKey = {0x00, 0x14};
    const Bytes keyHash = hash160(address.compressedPublicKey);
    spend.utxo.scriptPubKey.insert(spend.utxo.scriptPubKey.end(), keyHash.begin(), keyHash.end());
    return spend;
}

TEST(Signer, SigningsQueuedRunOnTheWorkerInOrderWithTheAccountsKeys) {
    UnlockedWallet env;
    Signer& signer = env.state().signer();
    const std::string id = env.state().wallet()->id;
    const std::size_t before = env.keychain().calls().size();
    env.keychain().hang();
    QCoro::Task<Bytes> first = signer.signEVMTransaction(id, password, 0, transfer(1));
    QCoro::Task<Bytes> second = signer.signEVMTransaction(id, password, 0, transfer(2));
    std::vector<int> ended;
    QCoro::Task<void> firstEnd = noteEnd(std::move(first), ended, 1);
    QCoro::Task<void> secondEnd = noteEnd(std::move(second), ended, 2);
    env.keychain().release();
    runTask(std::move(secondEnd));
    runTask(std::move(firstEnd));
    EXPECT_EQ(ended, (std::vector<int>{1, 2}));
    const std::vector<std::thread::id> threads = env.keychain().callThreads();
    ASSERT_GT(threads.size(), before);
    for (std::size_t i = before; i < threads.size(); ++i) {
        EXPECT_NE(threads[i], std::this_thread::get_id());
    }

    // Deterministic signatures: the same bytes as the published key's.
    EXPECT_EQ(runTask(signer.signEVMTransaction(id, password, 0, transfer(7))),
              ETHSigner::sign(transfer(7), abandonEthereumKey()));
    EXPECT_EQ(runTask(failureOf(signer.signEVMTransaction(id, "nope", 0, transfer(7)))).code,
              KeychainError::Code::wrongPassword);
    EXPECT_THROW(runTask(signer.signEVMTransaction(id, password, -1, transfer(7))), BIP32Error);
    EXPECT_THROW(runTask(signer.signEVMTransaction(id, password, 0x80000000LL, transfer(7))),
                 BIP32Error);
    EXPECT_EQ(runTask(signer.signSolanaMessage(id, password, Bytes{1, 2, 3})).size(), 64u);
    EXPECT_FALSE(env.state().isLocked());
}

TEST(Signer, ABitcoinSendFromSeveralAddressesOpensTheSeedOnceAndSignsEachWithItsIndexKey) {
    UnlockedWallet env;
    AppState& state = env.state();
    // A deleted address shifts the places after it, not their indices.
    std::vector<BTCAccountState> accounts = state.bitcoinAccounts();
    for (BTCAddressInfo& address : accounts.at(0).addresses) {
        address.fetched = true;
    }
    state.setBitcoinAccounts(std::move(accounts));
    runTask(state.deleteBTCAddress(1));
    ASSERT_EQ(state.bitcoinAccounts().at(0).addresses.at(2).derivationIndex, 3u);

    std::vector<BTCSpend> spends{coinOf(state, 0, 50'000), coinOf(state, 2, 60'000),
                                 coinOf(state, 2, 70'000), coinOf(state, 3, 80'000)};
    BTCUnsignedTransaction transaction;
    transaction.inputs.assign(spends.size(), BTCTxInput{Bytes(32, 0x01), 0, 0xFFFFFFFD, {}});
    transaction.outputs.push_back({200'000, spends[0].utxo.scriptPubKey});
    const std::size_t before = env.keychain().calls().size();
    const BTCUnsignedTransaction signedTransaction = runTask(
        state.signer().signBitcoinTransaction(state.wallet()->id, password, transaction, spends));
    EXPECT_EQ(seedLoads(env.keychain(), before), 1u);
    const std::vector<std::size_t> positions{0, 2, 2, 3};
    for (std::size_t i = 0; i < positions.size(); ++i) {
        ASSERT_EQ(signedTransaction.inputs[i].witness.size(), 2u);
        EXPECT_EQ(signedTransaction.inputs[i].witness[1],
                  state.bitcoinAccounts().at(0).addresses.at(positions[i]).compressedPublicKey)
            << i;
    }

    // A coin whose script is another address's is refused; so are counts that differ.
    std::vector<BTCSpend> wrong = spends;
    wrong[1].derivationIndex = 0;
    try {
        runTask(state.signer().signBitcoinTransaction(state.wallet()->id, password, transaction,
                                                      wrong));
        ADD_FAILURE() << "signed a coin with another address's key";
    } catch (const SignerError& error) {
        EXPECT_EQ(error.code(), SignerError::Code::keyMismatch);
    }
    spends.pop_back();
    EXPECT_THROW(runTask(state.signer().signBitcoinTransaction(state.wallet()->id, password,
                                                               transaction, spends)),
                 SignerError);
}

// What a signing ended with: its bytes, or the code of the SignerError.
template <typename T>
QCoro::Task<std::optional<SignerError::Code>> lockCodeOf(QCoro::Task<T> task) {
    try {
        co_await std::move(task);
    } catch (const SignerError& error) {
        co_return error.code();
    }
    co_return std::nullopt;
}

TEST(Signer, ALockWinsOverEverySigningAskedForBeforeItOrRunningWhenItComes) {
    UnlockedWallet env;
    AppState& state = env.state();
    Signer& signer = state.signer();
    const std::string id = state.wallet()->id;

    // Running: the worker is inside the seed opening when the lock comes.
    const std::size_t before = env.keychain().calls().size();
    env.keychain().hang();
    QCoro::Task<std::optional<SignerError::Code>> running =
        lockCodeOf(signer.signEVMTransaction(id, password, 0, transfer(1)));
    waitForKeychainCall(env.keychain(), before);
    // Queued behind it: none may open the seed after the lock.
    std::vector<QCoro::Task<std::optional<SignerError::Code>>> queued;
    for (std::uint64_t n = 0; n < 8; ++n) {
        queued.push_back(lockCodeOf(signer.signEVMTransaction(id, password, 0, transfer(n))));
        queued.push_back(lockCodeOf(signer.signSolanaMessage(id, password, Bytes{1})));
        queued.push_back(lockCodeOf(signer.openPhrase(id, password)));
    }
    state.lock();
    const std::size_t atLock = env.keychain().calls().size();
    env.keychain().release();
    EXPECT_EQ(runTask(std::move(running)), SignerError::Code::locked);
    for (auto& task : queued) {
        EXPECT_EQ(runTask(std::move(task)), SignerError::Code::locked);
    }
    // The running one finishes its opening; nothing queued starts one.
    EXPECT_EQ(seedLoads(env.keychain(), atLock), 1u);

    // After the next unlock, signing works again.
    runTask(state.unlock(password));
    state.stopBackgroundTasks();
    EXPECT_EQ(runTask(signer.signEVMTransaction(id, password, 0, transfer(1))),
              ETHSigner::sign(transfer(1), abandonEthereumKey()));
}

TEST(Signer, AFailingKeychainSurfacesItsErrorOnTheGuiThread) {
    UnlockedWallet env;
    AppState& state = env.state();
    Signer& signer = state.signer();
    const std::string id = state.wallet()->id;
    state.lock();
    env.keychain().failLoads(-25308);
    const std::vector<Failure> failures{
        runTask(failureOf(state.unlock(password))),
        runTask(failureOf(signer.openPhrase(id, password))),
        runTask(failureOf(signer.signSolanaMessage(id, password, Bytes{1}))),
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
