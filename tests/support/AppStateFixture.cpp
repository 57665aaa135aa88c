#include "AppStateFixture.h"

#include "services/evm/BlockExplorerClient.h"
#include "services/network/NetworkManager.h"
#include "services/prices/CoinGeckoClient.h"
#include "state/TokenPriceLookup.h"
#include "state/refresh/RefreshOrchestrator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QUuid>
#include <stdexcept>

namespace qm::test {

QCoro::Task<void> CountingWalletConnect::setup() {
    ++setups;
    co_return;
}

AppStateFixture::AppStateFixture()
    : m_memory(std::make_shared<MemoryKeychain>()),
      m_faulty(std::make_shared<FaultyKeychain>(m_memory)) {
    if (!m_folder.isValid()) {
        throw std::runtime_error("AppStateFixture: no temporary folder");
    }
    // Anything that still asks Qt for the data location lands in the temporary folder too.
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dataLocation() / "xdg").string()));
    ElectrumFixture::trustAuthority();
    build();
}

AppStateFixture::~AppStateFixture() {
    m_state.reset();
    settle();
}

std::filesystem::path AppStateFixture::dataLocation() const {
    return std::filesystem::path(m_folder.path().toStdString());
}

void AppStateFixture::build() {
    KeychainManager::Config config;
    config.keychain = m_faulty;
    config.dataLocation = dataLocation();
    m_keychain = std::make_unique<KeychainManager>(std::move(config));
    m_tokens = std::make_unique<TokenStore>(dataLocation() / "Quillmark" / "tokens.json");

    ServerPoolTable pools;
    pools.electrum.servers.push_back(
        {QUuid::createUuid(), m_electrum.host(), m_electrum.port(), m_electrum.useTLS()});
    for (EVMRPCPool* pool : {&pools.ethereum, &pools.arbitrum, &pools.polygon, &pools.solana}) {
        pool->urls.push_back(m_rpc.url("/rpc"));
    }
    BlockExplorerClient::BaseURLs explorers;
    for (std::string& base : explorers) {
        base = m_web.url("/api/v2").toString().toStdString();
    }

    AppStateServices services;
    services.keychain = m_keychain.get();
    services.tokenStore = m_tokens.get();
    services.networkManager = std::make_unique<NetworkManager>(pools, NetworkManager::Options{});
    services.explorerClient = std::make_unique<BlockExplorerClient>(explorers, HttpTimeouts{});
    services.coinGecko = std::make_unique<CoinGeckoClient>(
        m_web.url("/api/v3").toString().toStdString(), HttpTimeouts{});
    auto walletConnect = std::make_unique<CountingWalletConnect>();
    m_walletConnect = walletConnect.get();
    services.wcViewModel = std::move(walletConnect);
    services.tokenPrices = std::make_unique<TokenPriceLookup>();
    m_state = std::make_unique<AppState>(std::move(services));
    // Tests here count what reaches the servers; the refresh's own traffic is tested on its
    // own (tests/unit/state/refresh) and switched on where a test wants it.
    m_state->refreshOrchestrator().setSuspendedForTesting(true);
}

void AppStateFixture::restart() {
    m_state.reset();
    settle();
    m_tokens.reset();
    m_keychain.reset();
    build();
}

void AppStateFixture::settle() {
    for (int turn = 0; turn < 20; ++turn) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

int AppStateFixture::networkRequests() const {
    return m_electrum.connectionCount() + m_electrum.requestCount() +
           static_cast<int>(m_rpc.requests().size() + m_web.requests().size());
}

std::vector<std::string> AppStateFixture::abandonPhrase() {
    std::vector<std::string> words(11, "abandon");
    words.push_back("about");
    return words;
}

} // namespace qm::test
