#pragma once
// An AppState for tests, wired to nothing of the user's: a temporary data folder and loopback
// fixtures in place of every server, so a test can count whether anything reached the network.

#include "ElectrumFixture.h"
#include "FakeKeychain.h"
#include "HttpFixture.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/walletconnect/WalletConnectService.h"

#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

// The common part: the Electrum fixture, one HTTP fixture for the JSON-RPC pools and one for
// the explorer and the price service.
class LoopbackAppState {
public:
    AppState& state() { return *m_state; }
    ElectrumFixture& electrum() { return m_electrum; }
    HttpFixture& rpc() { return m_rpc; }
    HttpFixture& web() { return m_web; }
    // The folder that holds "Quillmark".
    std::filesystem::path dataLocation() const;
    // Runs the event loop until the posted work (spawned jobs, their waits) has settled.
    static void settle();

protected:
    explicit LoopbackAppState(ElectrumFixture::Mode mode);
    // Over `folder`, which outlives it, instead of a temporary one.
    LoopbackAppState(ElectrumFixture::Mode mode, std::filesystem::path folder);
    ~LoopbackAppState();
    // Storage over `keychain`, and services for it; the JSON-RPC pools (Ethereum, Arbitrum,
    // Polygon, Solana) use rpc() where `pools` gives no URL, each listing it `serversPerPool`
    // times (servers alike to fail over along). Tokens get no price unless `quoteTokenPrices`
    // asks for the wallet's quoter lookup.
    AppStateServices makeServices(std::shared_ptr<Keychain> keychain,
                                  const NetworkManager::Options& options, HttpTimeouts timeouts,
                                  const std::array<std::optional<QUrl>, 4>& pools = {},
                                  bool quoteTokenPrices = false, int serversPerPool = 1);

    // A temporary folder, or none over a kept one.
    std::optional<QTemporaryDir> m_folder;
    std::optional<std::filesystem::path> m_keptFolder;
    // How the next storage is made: its probe left to the signing worker, and its time-out.
    bool m_deferKeychainStart = false;
    std::chrono::milliseconds m_probeTimeout{5000};
    ElectrumFixture m_electrum;
    HttpFixture m_rpc;
    HttpFixture m_web;
    std::unique_ptr<KeychainManager> m_keychain;
    std::unique_ptr<TokenStore> m_tokens;
    std::unique_ptr<AppState> m_state;
};

// Counts its set-ups, each of which stands for a new session manager, and connects nothing.
class CountingWalletConnect : public WalletConnectService {
    Q_OBJECT

public:
    using WalletConnectService::WalletConnectService;
    QCoro::Task<void> setup() override;
    int setups = 0;
};

// Over TLS, with a keychain in memory behind fault injection; the refresh is suspended.
class AppStateFixture : public LoopbackAppState {
public:
    // JSON-RPC endpoints of Ethereum, Arbitrum, Polygon and Solana; none: rpc().
    using RPCPools = std::array<std::optional<QUrl>, 4>;

    AppStateFixture() : AppStateFixture(RPCPools{}) {}
    // With the network's clients limited as `network` says (short time-outs).
    explicit AppStateFixture(RPCPools pools, NetworkManager::Options network = {});
    // With the real WalletConnect service (its relay and sessions file as `walletConnect` says)
    // in place of the counting one; the JSON-RPC pools (Ethereum, Arbitrum, Polygon, Solana)
    // at `pools` where given.
    explicit AppStateFixture(WalletConnectService::Options walletConnect,
                             std::array<std::optional<QUrl>, 4> pools = {});
    // A program's run over `folder`, which a later run (another process) opens again: its
    // keychain is a folder of files in it (DirectoryKeychain; no storedItems()).
    AppStateFixture(std::filesystem::path folder, RPCPools pools,
                    NetworkManager::Options network = {});

    KeychainManager& keychainManager() { return *m_keychain; }
    FaultyKeychain& keychain() { return *m_faulty; }
    MemoryKeychain& storedItems() { return *m_memory; }
    // The counting service; only without real WalletConnect options.
    CountingWalletConnect& walletConnect() { return *m_walletConnect; }
    WalletConnectService& walletConnectService() { return m_state->wcViewModel(); }

    // A new process over the same folder and keychain (loadStoredState not yet called).
    void restart();
    // The same, with the keychain probed as the program probes it: by the signing worker,
    // with this time-out, after the state exists.
    void restartAsTheProgramStarts(std::chrono::milliseconds probeTimeout);
    // The same, unlocked with `password` and its refresh stopped; in between, while no process
    // runs, the one transaction the wallet kept unsettled is edited on disk (`edit` is handed its
    // record). Throws when it kept none or more than one.
    void restartWithTheKeptRecordEdited(const std::function<void(nlohmann::json&)>& edit,
                                        std::string_view password);
    // Everything any server fixture has seen: Electrum connections and requests, HTTP requests.
    int networkRequests() const;
    // Bytes that are not UTF-8 where the wallet keeps the transactions it sent; returns the
    // file the next unlock sets them aside in.
    std::filesystem::path breakUnsettledRecord() const;

    // "abandon" x11 + "about", the published test phrase.
    static std::vector<std::string> abandonPhrase();

private:
    void build();

    std::shared_ptr<MemoryKeychain> m_memory;
    std::shared_ptr<FaultyKeychain> m_faulty;
    CountingWalletConnect* m_walletConnect = nullptr;
    std::optional<WalletConnectService::Options> m_walletConnectOptions;
    std::array<std::optional<QUrl>, 4> m_pools;
    NetworkManager::Options m_network;
};

} // namespace qm::test
