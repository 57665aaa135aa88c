#pragma once
// An open wallet's AppState for refresh tests: accounts are put in place directly (no seed),
// and every server is a loopback fixture or a peer: the Electrum fixture, one HTTP fixture for
// the JSON-RPC pools unless a test gives its own URLs (anvil, the litesvm server), and one
// for the explorer and the price service. Time limits are short so stalls end quickly.
//
//     RefreshFixture env;
//     env.setBitcoinAddresses({0, 1});
//     env.electrum().answer("blockchain.scripthash.get_balance", {{"confirmed", 5}, ...});
//     runTask(env.refresh().refreshBitcoin({}));

#include "ElectrumFixture.h"
#include "HttpFixture.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "platform/Bytes.h"
#include "services/network/NetworkManager.h"
#include "state/AppState.h"
#include "state/refresh/RefreshOrchestrator.h"

#include <QTemporaryDir>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

class RefreshFixture {
public:
    struct Setup {
        // JSON-RPC endpoints per chain; none: the fixture's own rpc() server.
        std::optional<QUrl> ethereum, arbitrum, polygon, solana;
        std::chrono::milliseconds electrumRequestTimeout{2'000};
        HttpTimeouts httpTimeouts{std::chrono::milliseconds(2'000),
                                  std::chrono::milliseconds(4'000)};
    };

    RefreshFixture() : RefreshFixture(Setup{}) {}
    explicit RefreshFixture(Setup setup);
    ~RefreshFixture();

    AppState& state() { return *m_state; }
    RefreshOrchestrator& refresh() { return *m_refresh; }
    ElectrumFixture& electrum() { return m_electrum; }
    HttpFixture& rpc() { return m_rpc; }
    HttpFixture& web() { return m_web; }
    TokenStore& tokens() { return *m_tokens; }

    // One Bitcoin account whose addresses come from test keys `keys` (see testKey).
    void setBitcoinAddresses(const std::vector<int>& keys);
    // One account of `chain` at `address`.
    void setEVMAccount(Chain chain, const std::string& address);
    void setSolanaAccount(const std::string& address);

    // A made-up compressed public key, its P2WPKH address, output script and script hash.
    static Bytes testKey(int n);
    static std::string testAddress(int n);
    static Bytes testOutputScript(int n);
    static std::string testScriptHash(int n);
    static BTCAddressInfo testAddressInfo(int n, std::int64_t position);

    // Runs the event loop for `ms` milliseconds.
    static void spin(int ms);
    // Runs the event loop until `condition` holds; false when it still fails after `timeoutMs`.
    static bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 15'000);

private:
    QTemporaryDir m_folder;
    ElectrumFixture m_electrum{ElectrumFixture::Mode::plain};
    HttpFixture m_rpc;
    HttpFixture m_web;
    std::unique_ptr<KeychainManager> m_keychain;
    std::unique_ptr<TokenStore> m_tokens;
    std::unique_ptr<AppState> m_state;
    RefreshOrchestrator* m_refresh = nullptr;
};

} // namespace qm::test
