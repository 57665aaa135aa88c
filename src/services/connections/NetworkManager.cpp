#include "services/connections/NetworkManager.h"

#include "platform/async/UntilCancelled.h"

#include <QPointer>
#include <type_traits>

namespace qm {
namespace {

// The phases that clear a pool's connected flag; connecting and "all failed" leave it as it was.
bool isDown(ConnectionPhase phase) {
    return phase == ConnectionPhase::disconnected || phase == ConnectionPhase::failed ||
           phase == ConnectionPhase::fetchFailed;
}

// What a user reads when a chain's endpoint cannot be reached, as the sends say it: "Cannot
// connect to Ethereum RPC", "Cannot connect to Solana RPC".
std::string unreachableText(Chain chain) {
    return "Cannot connect to " + displayName(chain) + " RPC";
}

} // namespace

std::string connectionStatusText(Chain chain, ConnectionPhase phase, const std::string& host) {
    switch (phase) {
    case ConnectionPhase::disconnected:
        break;
    case ConnectionPhase::connecting:
        return "Connecting to " + host + "...";
    case ConnectionPhase::connected:
        return "Connected: " + host;
    case ConnectionPhase::failed:
        return "Failed: " + host;
    case ConnectionPhase::allFailed:
        return chain == Chain::bitcoin ? "All servers failed" : "All RPCs failed";
    case ConnectionPhase::fetchFailed:
        return "Fetch failed";
    }
    return "Disconnected";
}

NetworkManager::NetworkManager(QObject* parent)
    : NetworkManager(defaultServerPools(), Options{}, parent) {}

NetworkManager::NetworkManager(ServerPoolTable pools, Options options, QObject* parent)
    : QObject(parent), m_options(options), m_electrumPool(std::move(pools.electrum)),
      m_ethPool(std::move(pools.ethereum)), m_arbPool(std::move(pools.arbitrum)),
      m_polygonPool(std::move(pools.polygon)), m_solanaPool(std::move(pools.solana)) {}

NetworkManager::~NetworkManager() {
    // Callers awaiting a pass that can no longer report get "not connected".
    if (m_electrumPass) {
        m_electrumPass->succeed(false);
    }
}

std::string NetworkManager::displayHost(const QUrl& url) {
    const QString host = url.host();
    return host.isEmpty() ? std::string("RPC") : host.toStdString();
}

// --- Connected clients -------------------------------------------------------------------------

QCoro::Task<bool> NetworkManager::connect(Chain chain) {
    switch (chain) {
    case Chain::bitcoin:
        return connectElectrum();
    case Chain::solana:
        return connectSolana();
    default:
        return connectEVM(chain);
    }
}

template <typename Client>
QCoro::Task<std::shared_ptr<Client>> NetworkManager::connectedClient(Chain chain,
                                                                     CancellationToken cancel) {
    const QPointer<NetworkManager> self(this);
    if constexpr (std::is_same_v<Client, ElectrumClient>) {
        // The server may have dropped the connection since: the next request connects anew
        // rather than failing on the dead client until a refresh notices.
        if (m_electrumConnected && !(m_electrumClient && m_electrumClient->isConnected())) {
            setElectrumConnected(false);
        }
    }
    if (!isConnected(chain)) {
        const std::optional<bool> connected = co_await untilCancelled(connect(chain), cancel);
        if (!self || !connected || !*connected || cancel.isCancelled()) {
            co_return std::shared_ptr<Client>();
        }
    }
    if constexpr (std::is_same_v<Client, ElectrumClient>) {
        co_return self->currentElectrumClient();
    } else if constexpr (std::is_same_v<Client, SolanaRPCClient>) {
        co_return self->currentSolanaClient();
    } else {
        co_return self->evmClient(chain);
    }
}

QCoro::Task<std::shared_ptr<ElectrumClient>>
NetworkManager::connectedElectrumClient(CancellationToken cancel) {
    return connectedClient<ElectrumClient>(Chain::bitcoin, std::move(cancel));
}

QCoro::Task<std::shared_ptr<JSONRPCClient>>
NetworkManager::connectedEVMClient(Chain chain, CancellationToken cancel) {
    if (!isEVMChain(chain)) {
        fatalError("NetworkManager: not an EVM chain");
    }
    return connectedClient<JSONRPCClient>(chain, std::move(cancel));
}

QCoro::Task<std::shared_ptr<SolanaRPCClient>>
NetworkManager::connectedSolanaClient(CancellationToken cancel) {
    return connectedClient<SolanaRPCClient>(Chain::solana, std::move(cancel));
}

// --- Electrum --------------------------------------------------------------------------------

void NetworkManager::setElectrumConnected(bool connected) {
    if (m_electrumConnected != connected) {
        m_electrumConnected = connected;
        emit electrumConnectedChanged(connected);
    }
}

void NetworkManager::setElectrumPhase(ConnectionPhase phase, const std::string& host) {
    m_electrumPhase = phase;
    const std::string status = connectionStatusText(Chain::bitcoin, phase, host);
    if (m_electrumStatus != status) {
        m_electrumStatus = status;
        emit electrumStatusChanged(QString::fromStdString(status));
    }
}

void NetworkManager::setElectrumActiveIndex(int index) {
    if (m_electrumPool.activeIndex != index) {
        m_electrumPool.activeIndex = index;
        emit electrumPoolChanged();
    }
}

std::shared_ptr<ElectrumClient> NetworkManager::currentElectrumClient() {
    if (!m_electrumClient) {
        const auto& server = m_electrumPool.activeServer();
        m_electrumClient = std::make_shared<ElectrumClient>(server.host, server.port, server.useTLS,
                                                            m_options.electrumLimits);
    }
    return m_electrumClient;
}

QCoro::Task<bool> NetworkManager::connectElectrum() {
    if (m_electrumPass) {
        co_return co_await m_electrumPass->wait();
    }
    const OneShot<bool> pass;
    m_electrumPass = pass;
    const QPointer<NetworkManager> self(this);
    const bool result = co_await runElectrumPass();
    if (self && self->m_electrumPass == pass) {
        self->m_electrumPass.reset();
    }
    pass.succeed(result);
    co_return result;
}

QCoro::Task<bool> NetworkManager::runElectrumPass() {
    const QPointer<NetworkManager> self(this);
    const int count = static_cast<int>(m_electrumPool.servers.size());
    if (count == 0) {
        setElectrumPhase(ConnectionPhase::allFailed);
        co_return false;
    }
    for (int attempts = 0;;) {
        const ServerPool::Server server = self->m_electrumPool.activeServer();
        self->setElectrumPhase(ConnectionPhase::connecting, server.host);
        self->m_electrumClient.reset();
        const auto client = std::make_shared<ElectrumClient>(
            server.host, server.port, server.useTLS, self->m_options.electrumLimits);
        self->m_electrumClient = client;
        bool connected = true;
        try {
            co_await client->connect();
        } catch (const std::exception&) {
            connected = false; // the status names the server, never the error
        }
        if (!self) {
            co_return false;
        }
        if (connected) {
            self->setElectrumConnected(true);
            self->setElectrumPhase(ConnectionPhase::connected, server.host);
            co_return true;
        }
        self->setElectrumConnected(false);
        self->setElectrumPhase(ConnectionPhase::failed, server.host);
        if (attempts < count - 1) {
            self->setElectrumActiveIndex((self->m_electrumPool.activeIndex + 1) % count);
        }
        ++attempts;
        if (attempts == count) {
            self->setElectrumPhase(ConnectionPhase::allFailed);
            co_return false;
        }
    }
}

void NetworkManager::disconnectElectrum() {
    m_electrumClient.reset();
    setElectrumConnected(false);
    setElectrumPhase(ConnectionPhase::disconnected);
}

void NetworkManager::useCustomElectrumServer(std::string host, std::uint16_t port, bool useTLS) {
    m_electrumPool.servers.insert(
        m_electrumPool.servers.begin(),
        ServerPool::Server{QUuid::createUuid(), std::move(host), port, useTLS});
    m_electrumPool.activeIndex = 0;
    emit electrumPoolChanged();
    disconnectElectrum();
}

// --- JSON-RPC pools (EVM chains and Solana) ----------------------------------------------------

template <typename Manager> auto& NetworkManager::rpcPoolOf(Manager& manager, Chain chain) {
    switch (chain) {
    case Chain::arbitrum:
        return manager.m_arbPool;
    case Chain::polygon:
        return manager.m_polygonPool;
    case Chain::solana:
        return manager.m_solanaPool;
    default:
        return manager.m_ethPool;
    }
}

EVMRPCPool NetworkManager::evmPool(Chain chain) const {
    return chain == Chain::solana ? m_ethPool : rpcPoolOf(*this, chain);
}

void NetworkManager::setRPCPoolIndex(Chain chain, int index) {
    EVMRPCPool& pool = rpcPoolOf(*this, chain);
    if (pool.activeIndex != index) {
        pool.activeIndex = index;
        emit rpcPoolChanged(chain);
    }
}

std::shared_ptr<JSONRPCClient> NetworkManager::evmClient(Chain chain) {
    auto& cached = m_evmClients[chain];
    if (!cached) {
        cached = std::make_shared<JSONRPCClient>(evmPool(chain).activeURL(), m_options.rpcTimeouts);
        cached->setUnreachableText(unreachableText(chain));
    }
    return cached;
}

void NetworkManager::setConnectionPhase(Chain chain, ConnectionPhase phase,
                                        const std::string& host) {
    if (chain == Chain::bitcoin) {
        if (phase == ConnectionPhase::connected || isDown(phase)) {
            setElectrumConnected(phase == ConnectionPhase::connected);
        }
        setElectrumPhase(phase, host);
        return;
    }
    if (!isEVMChain(chain) && chain != Chain::solana) {
        return;
    }
    EVMRPCPool& pool = rpcPoolOf(*this, chain);
    EVMRPCPool changed = pool;
    changed.phase = phase;
    changed.status = connectionStatusText(chain, phase, host);
    if (phase == ConnectionPhase::connected || isDown(phase)) {
        changed.connected = phase == ConnectionPhase::connected;
    }
    if (changed != pool) {
        pool = std::move(changed);
        emit rpcPoolChanged(chain);
    }
}

QCoro::Task<bool> NetworkManager::connectEVM(Chain chain) {
    co_return co_await rpcPass(chain);
}

std::shared_ptr<SolanaRPCClient> NetworkManager::currentSolanaClient() {
    if (!m_solanaClient) {
        m_solanaClient =
            std::make_shared<SolanaRPCClient>(m_solanaPool.activeURL(), m_options.rpcTimeouts);
        m_solanaClient->setUnreachableText(unreachableText(Chain::solana));
    }
    return m_solanaClient;
}

QCoro::Task<bool> NetworkManager::connectSolana() {
    co_return co_await rpcPass(Chain::solana);
}

QCoro::Task<bool> NetworkManager::replaceClientAndProbe(Chain chain, QUrl url) {
    // The probes' values are not used: only success or failure counts.
    try {
        if (chain == Chain::solana) {
            m_solanaClient.reset();
            const auto client = std::make_shared<SolanaRPCClient>(url, m_options.rpcTimeouts);
            client->setUnreachableText(unreachableText(chain));
            m_solanaClient = client;
            co_await client->getLatestBlockhash();
        } else {
            m_evmClients.erase(chain);
            const auto client = std::make_shared<JSONRPCClient>(url, m_options.rpcTimeouts);
            client->setUnreachableText(unreachableText(chain));
            m_evmClients[chain] = client;
            co_await client->gasPrice();
        }
    } catch (const std::exception&) {
        co_return false; // the status names the endpoint, never the error
    }
    co_return true;
}

QCoro::Task<bool> NetworkManager::rpcPass(Chain chain) {
    const QPointer<NetworkManager> self(this);
    const EVMRPCPool start = rpcPoolOf(*this, chain);
    const int count = static_cast<int>(start.urls.size());
    if (count == 0) {
        setConnectionPhase(chain, ConnectionPhase::allFailed);
        co_return false;
    }
    int index = start.activeIndex;
    for (int attempts = 0;;) {
        if (chain == Chain::solana) {
            index = self->m_solanaPool.activeIndex; // Solana's pass re-reads it every attempt
        }
        const QUrl url = start.urls[static_cast<std::size_t>(index)];
        const std::string host = displayHost(url);
        self->setConnectionPhase(chain, ConnectionPhase::connecting, host);
        const bool reachable = co_await self->replaceClientAndProbe(chain, url);
        if (!self) {
            co_return false;
        }
        if (reachable) {
            self->setConnectionPhase(chain, ConnectionPhase::connected, host);
            co_return true;
        }
        self->setConnectionPhase(chain, ConnectionPhase::failed, host);
        if (attempts < count - 1) {
            index = (index + 1) % count;
            self->setRPCPoolIndex(chain, index);
        }
        ++attempts;
        if (attempts == count) {
            self->setConnectionPhase(chain, ConnectionPhase::allFailed);
            co_return false;
        }
    }
}

// --- Queries -----------------------------------------------------------------------------------

bool NetworkManager::isConnected(Chain chain) const {
    return chain == Chain::bitcoin ? m_electrumConnected : rpcPoolOf(*this, chain).connected;
}

ConnectionPhase NetworkManager::connectionPhase(Chain chain) const {
    return chain == Chain::bitcoin ? m_electrumPhase : rpcPoolOf(*this, chain).phase;
}

bool NetworkManager::isConnecting(Chain chain) const {
    return connectionPhase(chain) == ConnectionPhase::connecting;
}

std::optional<bool> NetworkManager::isOnFallback(Chain chain) const {
    if (!isConnected(chain)) {
        return std::nullopt;
    }
    if (chain == Chain::bitcoin) {
        return m_electrumPool.activeIndex != 0;
    }
    return rpcPoolOf(*this, chain).activeIndex != 0;
}

std::optional<std::string> NetworkManager::activeHost(Chain chain) const {
    if (chain == Chain::bitcoin) {
        if (m_electrumPool.servers.empty()) {
            return std::nullopt;
        }
        return m_electrumPool.activeServer().host;
    }
    const EVMRPCPool& pool = rpcPoolOf(*this, chain);
    if (pool.urls.empty()) {
        return std::nullopt;
    }
    const QString host = pool.activeURL().host();
    if (host.isEmpty()) {
        return std::nullopt;
    }
    return host.toStdString();
}

} // namespace qm
