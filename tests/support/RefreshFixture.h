#pragma once
// An open wallet's AppState for refresh tests: accounts are put in place directly (no seed),
// servers are loopback fixtures or peers, and time limits are short so stalls end quickly.

#include "AppStateFixture.h"
#include "platform/Bytes.h"
#include "state/refresh/RefreshOrchestrator.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace qm::test {

class RefreshFixture : public LoopbackAppState {
public:
    struct Setup {
        // JSON-RPC endpoints per chain; none: the fixture's own rpc() server.
        std::optional<QUrl> ethereum, arbitrum, polygon, solana;
        std::chrono::milliseconds electrumRequestTimeout{2'000};
        HttpTimeouts httpTimeouts{std::chrono::milliseconds(2'000),
                                  std::chrono::milliseconds(4'000)};
        // The wallet's quoter prices for tokens; none by default.
        bool quoteTokenPrices = false;
        // How often each JSON-RPC pool lists its URL: servers alike to fail over along.
        int serversPerPool = 1;
    };

    RefreshFixture() : RefreshFixture(Setup{}) {}
    explicit RefreshFixture(Setup setup);

    RefreshOrchestrator& refresh() { return m_state->refreshOrchestrator(); }
    TokenStore& tokens() { return *m_tokens; }

    // One Bitcoin account whose addresses come from made-up keys numbered `keys`.
    void setBitcoinAddresses(const std::vector<int>& keys);
    // One account of `chain` at `address`.
    void setEVMAccount(Chain chain, const std::string& address);
    void setSolanaAccount(const std::string& address);

    // Of a made-up compressed public key: its P2WPKH address, output script and script hash.
    static std::string testAddress(int n);
    static Bytes testOutputScript(int n);
    static std::string testScriptHash(int n);
    static BTCAddressInfo testAddressInfo(int n, std::int64_t position);

    // Runs the event loop for `ms` milliseconds.
    static void spin(int ms);
    // Runs the event loop until `condition` holds; false when it still fails after 15 s.
    static bool waitUntil(const std::function<bool()>& condition);
};

} // namespace qm::test
