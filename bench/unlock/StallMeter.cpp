#include "StallMeter.h"

#include "../EventLoopStall.h"
#include "core/crypto/BIP39.h"
#include "core/crypto/Secp256k1.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/BlockExplorerClient.h"
#include "state/AccountDerivation.h"
#include "state/AppState.h"
#include "state/TokenPriceLookup.h"
#include "state/refresh/RefreshOrchestrator.h"
#include "state/signing/Signer.h"
#include "state/walletconnect/WalletConnectService.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <qcoro/qcorotask.h>
#include <vector>

namespace qm::bench {
namespace {

constexpr const char* password = "bench password 1";

QCoro::Task<void> runOnGuiThread(const std::function<void()>& work) {
    work();
    co_return;
}

// The same, for work that runs on the GUI thread from one event to its end.
double stallOfBlocking(StallMeter& meter, const std::function<void()>& work) {
    return stallOf(meter, [&work] { return runOnGuiThread(work); });
}

QCoro::Task<void> signOnce(AppState* state) {
    ETHTransaction transaction;
    transaction.chainID = 1;
    transaction.gasLimit = 21'000;
    transaction.to = Bytes(20, 0x5a);
    QCoro::Task<Bytes> signing = state->signer().signEVMTransaction(state->wallet()->id, password,
                                                                    0, std::move(transaction));
    co_await std::move(signing);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double maximum(const std::vector<double>& values) {
    return *std::max_element(values.begin(), values.end());
}

} // namespace

namespace {

// The bench measures the wallet's own work: WalletConnect's relay stays unopened.
class NoWalletConnect : public WalletConnectService {
public:
    QCoro::Task<void> setup() override { co_return; }
};

} // namespace

int measureStalls(int rounds) {
    QTemporaryDir folder;
    // File mode over a temporary folder; no keychain, no network (the refresh is suspended).
    KeychainManager keychain(KeychainManager::Config{nullptr, folder.path().toStdString(), {}, {}});
    TokenStore tokens(std::filesystem::path(folder.path().toStdString()) / "tokens.json");
    AppStateServices services;
    services.keychain = &keychain;
    services.tokenStore = &tokens;
    services.networkManager = std::make_unique<NetworkManager>();
    services.explorerClient = std::make_unique<BlockExplorerClient>();
    services.coinGecko = std::make_unique<CoinGeckoClient>();
    services.wcViewModel = std::make_unique<NoWalletConnect>();
    services.tokenPrices = std::make_unique<TokenPriceLookup>();
    AppState state(std::move(services));
    state.refreshOrchestrator().setSuspendedForTesting(true);
    state.loadStoredState();

    const std::vector<std::string> words = BIP39::generateMnemonic(12);
    StallMeter meter;
    std::vector<double> create, unlock, sign;
    std::vector<double> createBefore, unlockBefore, signBefore;
    for (int round = 0; round < rounds; ++round) {
        create.push_back(stallOf(meter, [&] { return state.createWallet(words, password); }));
        state.stopBackgroundTasks();
        const std::string id = state.wallet()->id;
        state.lock();
        unlock.push_back(stallOf(meter, [&] { return state.unlock(password); }));
        state.stopBackgroundTasks();
        sign.push_back(stallOf(meter, [&] { return signOnce(&state); }));

        // The same steps on the GUI thread, as the window ran them before.
        createBefore.push_back(stallOfBlocking(meter, [&] {
            const SecureBytes seed = BIP39::seed(words, "");
            keychain.storeSeed(seed, id, password);
            keychain.storeMnemonic(words, id, password);
            const ExtendedKey master = BIP32::masterKey(seed);
            (void)deriveAccounts(seed, master, BTCAddressIndices::sequential(5));
        }));
        unlockBefore.push_back(stallOfBlocking(meter, [&] {
            const SecureBytes seed = keychain.loadSeed(id, password);
            const ExtendedKey master = BIP32::masterKey(seed);
            (void)deriveAccounts(seed, master, BTCAddressIndices::sequential(5));
        }));
        signBefore.push_back(stallOfBlocking(meter, [&] {
            const SecureBytes seed = keychain.loadSeed(id, password);
            const SecureBytes key = accountPrivateKey(seed, Chain::ethereum, 0);
            (void)Secp256k1::shared().signRecoverable(Bytes(32, 0x5a), key);
        }));
        stallOf(meter, [&] { return state.resetWallet(); });
    }
    const auto line = [](const char* what, const std::vector<double>& now,
                         const std::vector<double>& before) {
        std::printf("bench_unlock: GUI stall during %s: median %.1f ms, worst %.1f ms (on the GUI "
                    "thread: median %.1f ms, worst %.1f ms; goal <= 16 ms)\n",
                    what, median(now), maximum(now), median(before), maximum(before));
    };
    line("unlock", unlock, unlockBefore);
    line("wallet creation", create, createBefore);
    line("a signing", sign, signBefore);
    const double worst = std::max({maximum(unlock), maximum(create), maximum(sign)});
    std::printf("bench_unlock: %d rounds, longest GUI stall %.1f ms (goal <= 16 ms)\n", rounds,
                worst);
    return 0;
}

} // namespace qm::bench
