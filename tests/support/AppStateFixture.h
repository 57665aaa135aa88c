#pragma once
// An AppState for tests, wired to nothing of the user's: a keychain in memory (with fault
// injection in front), a temporary data folder, and loopback fixtures in place of every
// server, so a test can count whether anything reached the network.
//
//     AppStateFixture env;
//     env.state().loadStoredState();
//     env.state().createWallet(words, "password");
//     EXPECT_EQ(env.networkRequests(), 0);
//
// restart() drops the state and the storage managers and builds new ones over the same
// folder and keychain: what a new process of the wallet would find.

#include "ElectrumFixture.h"
#include "FakeKeychain.h"
#include "HttpFixture.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "state/AppState.h"
#include "state/WalletConnectSetup.h"

#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qm::test {

// Counts its set-ups, each of which stands for a new session manager.
class CountingWalletConnect : public WalletConnectSetup {
    Q_OBJECT

public:
    using WalletConnectSetup::WalletConnectSetup;
    QCoro::Task<void> setup() override;
    int setups = 0;
};

class AppStateFixture {
public:
    AppStateFixture();
    ~AppStateFixture();

    AppState& state() { return *m_state; }
    KeychainManager& keychainManager() { return *m_keychain; }
    TokenStore& tokenStore() { return *m_tokens; }
    FaultyKeychain& keychain() { return *m_faulty; }
    MemoryKeychain& storedItems() { return *m_memory; }
    CountingWalletConnect& walletConnect() { return *m_walletConnect; }
    ElectrumFixture& electrum() { return m_electrum; }
    // The folder that holds "Quillmark".
    std::filesystem::path dataLocation() const;

    // A new process over the same folder and keychain (loadStoredState not yet called).
    void restart();
    // Runs the event loop until the posted work (spawned jobs, their waits) has settled.
    static void settle();
    // Everything any server fixture has seen: Electrum connections and requests, HTTP requests.
    int networkRequests() const;

    // "abandon" x11 + "about", the published test phrase.
    static std::vector<std::string> abandonPhrase();

private:
    void build();

    QTemporaryDir m_folder;
    std::shared_ptr<MemoryKeychain> m_memory;
    std::shared_ptr<FaultyKeychain> m_faulty;
    ElectrumFixture m_electrum;
    HttpFixture m_rpc;
    HttpFixture m_web;
    std::unique_ptr<KeychainManager> m_keychain;
    std::unique_ptr<TokenStore> m_tokens;
    CountingWalletConnect* m_walletConnect = nullptr;
    std::unique_ptr<AppState> m_state;
};

} // namespace qm::test
