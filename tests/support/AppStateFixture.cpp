#include "AppStateFixture.h"

#include "RunTask.h"
#include "platform/AtomicFile.h"
#include "services/evm/BlockExplorerClient.h"
#include "services/prices/CoinGeckoClient.h"
#include "state/TokenPriceLookup.h"
#include "state/UniswapTokenPrices.h"
#include "state/refresh/RefreshOrchestrator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QUuid>
#include <stdexcept>

namespace qm::test {

LoopbackAppState::LoopbackAppState(ElectrumFixture::Mode mode)
    : m_folder(std::in_place), m_electrum(mode) {
    if (!m_folder->isValid()) {
        throw std::runtime_error("LoopbackAppState: no temporary folder");
    }
}

LoopbackAppState::LoopbackAppState(ElectrumFixture::Mode mode, std::filesystem::path folder)
    : m_keptFolder(std::move(folder)), m_electrum(mode) {}

LoopbackAppState::~LoopbackAppState() {
    m_state.reset();
    settle();
}

std::filesystem::path LoopbackAppState::dataLocation() const {
    return m_keptFolder ? *m_keptFolder : std::filesystem::path(m_folder->path().toStdString());
}

void LoopbackAppState::settle() {
    for (int turn = 0; turn < 20; ++turn) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

AppStateServices LoopbackAppState::makeServices(std::shared_ptr<Keychain> keychain,
                                                const NetworkManager::Options& options,
                                                HttpTimeouts timeouts,
                                                const std::array<std::optional<QUrl>, 4>& pools,
                                                bool quoteTokenPrices, int serversPerPool) {
    KeychainManager::Config config;
    config.keychain = std::move(keychain);
    config.dataLocation = dataLocation();
    config.probeTimeout = m_probeTimeout;
    config.deferStart = m_deferKeychainStart;
    m_keychain = std::make_unique<KeychainManager>(std::move(config));
    m_tokens = std::make_unique<TokenStore>(dataLocation() / "Quillmark" / "tokens.json");

    ServerPoolTable table;
    table.electrum.servers.push_back(
        {QUuid::createUuid(), m_electrum.host(), m_electrum.port(), m_electrum.useTLS()});
    const std::array<EVMRPCPool*, 4> rpcPools{&table.ethereum, &table.arbitrum, &table.polygon,
                                              &table.solana};
    for (std::size_t i = 0; i < rpcPools.size(); ++i) {
        rpcPools[i]->urls.assign(static_cast<std::size_t>(serversPerPool),
                                 pools[i].value_or(m_rpc.url("/rpc")));
    }
    BlockExplorerClient::BaseURLs explorers;
    for (std::string& base : explorers) {
        base = m_web.url("/api/v2").toString().toStdString();
    }
    AppStateServices services;
    services.keychain = m_keychain.get();
    services.tokenStore = m_tokens.get();
    services.networkManager = std::make_unique<NetworkManager>(table, options);
    services.explorerClient = std::make_unique<BlockExplorerClient>(explorers, timeouts);
    services.coinGecko =
        std::make_unique<CoinGeckoClient>(m_web.url("/api/v3").toString().toStdString(), timeouts);
    services.wcViewModel = std::make_unique<CountingWalletConnect>();
    services.tokenPrices = quoteTokenPrices ? std::make_unique<UniswapTokenPrices>()
                                            : std::make_unique<TokenPriceLookup>();
    services.attemptsFile = dataLocation() / "Quillmark" / "unsettled-attempts.json";
    return services;
}

std::filesystem::path AppStateFixture::breakUnsettledRecord() const {
    const std::filesystem::path file = dataLocation() / "Quillmark" / "unsettled-attempts.json";
    writeFileAtomically(file, Bytes{'[', 0xC3, 0x28, ']'});
    return file.string() + ".unreadable";
}

QCoro::Task<void> CountingWalletConnect::setup() {
    ++setups;
    co_return;
}

AppStateFixture::AppStateFixture(RPCPools pools, NetworkManager::Options network)
    : LoopbackAppState(ElectrumFixture::Mode::tls), m_memory(std::make_shared<MemoryKeychain>()),
      m_faulty(std::make_shared<FaultyKeychain>(m_memory)), m_pools(std::move(pools)),
      m_network(std::move(network)) {
    // Anything that still asks Qt for the data location lands in the temporary folder too.
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dataLocation() / "xdg").string()));
    build();
}

AppStateFixture::AppStateFixture(WalletConnectService::Options walletConnect,
                                 std::array<std::optional<QUrl>, 4> pools)
    : LoopbackAppState(ElectrumFixture::Mode::tls), m_memory(std::make_shared<MemoryKeychain>()),
      m_faulty(std::make_shared<FaultyKeychain>(m_memory)),
      m_walletConnectOptions(std::move(walletConnect)), m_pools(std::move(pools)) {
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dataLocation() / "xdg").string()));
    build();
}

AppStateFixture::AppStateFixture(std::filesystem::path folder, RPCPools pools,
                                 NetworkManager::Options network)
    : LoopbackAppState(ElectrumFixture::Mode::tls, std::move(folder)),
      m_faulty(std::make_shared<FaultyKeychain>(
          std::make_shared<DirectoryKeychain>(dataLocation() / "keyring"))),
      m_pools(std::move(pools)), m_network(std::move(network)) {
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dataLocation() / "xdg").string()));
    build();
}

void AppStateFixture::build() {
    AppStateServices services = makeServices(m_faulty, m_network, {}, m_pools);
    if (m_walletConnectOptions) {
        services.wcViewModel = std::make_unique<WalletConnectService>(*m_walletConnectOptions);
    } else {
        auto walletConnect = std::make_unique<CountingWalletConnect>();
        m_walletConnect = walletConnect.get();
        services.wcViewModel = std::move(walletConnect);
    }
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

void AppStateFixture::restartAsTheProgramStarts(std::chrono::milliseconds probeTimeout) {
    m_deferKeychainStart = true;
    m_probeTimeout = probeTimeout;
    restart();
    m_deferKeychainStart = false;
    m_probeTimeout = std::chrono::seconds(5);
}

void AppStateFixture::restartWithTheKeptRecordEdited(
    const std::function<void(nlohmann::json&)>& edit, std::string_view password) {
    m_state.reset();
    settle();
    const std::filesystem::path file = dataLocation() / "Quillmark" / "unsettled-attempts.json";
    const std::optional<Bytes> bytes = readFileIfExists(file);
    nlohmann::json stored =
        bytes ? nlohmann::json::parse(bytes->begin(), bytes->end()) : nlohmann::json::array();
    if (stored.size() != 1) {
        throw std::runtime_error("the wallet kept " + std::to_string(stored.size()) +
                                 " unsettled transactions, not one");
    }
    edit(stored[0]);
    writeFileAtomically(file, utf8View(stored.dump()));
    restart();
    m_state->loadStoredState();
    runTask(m_state->unlock(password));
    m_state->stopBackgroundTasks();
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
