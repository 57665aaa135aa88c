#include "services/connections/NetworkManager.h"

#include <QPointer>

namespace qm {

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

// --- Electrum --------------------------------------------------------------------------------

void NetworkManager::setElectrumConnected(bool connected) {
    if (m_electrumConnected != connected) {
        m_electrumConnected = connected;
        emit electrumConnectedChanged(connected);
    }
}

void NetworkManager::setElectrumStatus(const std::string& status) {
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
        setElectrumStatus("All servers failed");
        co_return false;
    }
    for (int attempts = 0;;) {
        const ServerPool::Server server = self->m_electrumPool.activeServer();
        self->setElectrumStatus("Connecting to " + server.host + "...");
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
            self->setElectrumStatus("Connected: " + server.host);
            co_return true;
        }
        self->setElectrumConnected(false);
        self->setElectrumStatus("Failed: " + server.host);
        if (attempts < count - 1) {
            self->setElectrumActiveIndex((self->m_electrumPool.activeIndex + 1) % count);
        }
        ++attempts;
        if (attempts == count) {
            self->setElectrumStatus("All servers failed");
            co_return false;
        }
    }
}

void NetworkManager::disconnectElectrum() {
    m_electrumClient.reset();
    setElectrumConnected(false);
    setElectrumStatus("Disconnected");
}

void NetworkManager::useCustomElectrumServer(std::string host, std::uint16_t port, bool useTLS) {
    m_electrumPool.servers.insert(
        m_electrumPool.servers.begin(),
        ServerPool::Server{QUuid::createUuid(), std::move(host), port, useTLS});
    m_electrumPool.activeIndex = 0;
    emit electrumPoolChanged();
    disconnectElectrum();
}

// --- EVM ---------------------------------------------------------------------------------------

template <typename Manager> auto& NetworkManager::evmPoolOf(Manager& manager, Chain chain) {
    switch (chain) {
    case Chain::arbitrum:
        return manager.m_arbPool;
    case Chain::polygon:
        return manager.m_polygonPool;
    default:
        return manager.m_ethPool;
    }
}

EVMRPCPool NetworkManager::evmPool(Chain chain) const {
    return evmPoolOf(*this, chain);
}

EVMRPCPool& NetworkManager::evmPoolStorage(Chain chain) {
    return evmPoolOf(*this, chain);
}

void NetworkManager::setRPCPoolIndex(Chain chain, EVMRPCPool& pool, int index) {
    if (pool.activeIndex != index) {
        pool.activeIndex = index;
        emit rpcPoolChanged(chain);
    }
}

std::shared_ptr<JSONRPCClient> NetworkManager::evmClient(Chain chain) {
    auto& cached = m_evmClients[chain];
    if (!cached) {
        cached = std::make_shared<JSONRPCClient>(evmPool(chain).activeURL(), m_options.rpcTimeouts);
    }
    return cached;
}

void NetworkManager::setEVMPoolState(Chain chain, bool connected, const std::string& status) {
    if (!isEVMChain(chain)) {
        return;
    }
    auto& pool = evmPoolStorage(chain);
    if (pool.connected != connected || pool.status != status) {
        pool.connected = connected;
        pool.status = status;
        emit rpcPoolChanged(chain);
    }
}

void NetworkManager::setEVMPoolStatus(Chain chain, const std::string& status) {
    if (!isEVMChain(chain)) {
        return;
    }
    auto& pool = evmPoolStorage(chain);
    if (pool.status != status) {
        pool.status = status;
        emit rpcPoolChanged(chain);
    }
}

QCoro::Task<bool> NetworkManager::connectEVM(Chain chain) {
    co_return co_await rpcPass(chain, false);
}

// --- Solana ------------------------------------------------------------------------------------

void NetworkManager::setSolanaPoolState(std::optional<bool> connected, const std::string& status) {
    const bool newConnected = connected.value_or(m_solanaPool.connected);
    if (m_solanaPool.connected != newConnected || m_solanaPool.status != status) {
        m_solanaPool.connected = newConnected;
        m_solanaPool.status = status;
        emit rpcPoolChanged(Chain::solana);
    }
}

std::shared_ptr<SolanaRPCClient> NetworkManager::currentSolanaClient() {
    if (!m_solanaClient) {
        m_solanaClient =
            std::make_shared<SolanaRPCClient>(m_solanaPool.activeURL(), m_options.rpcTimeouts);
    }
    return m_solanaClient;
}

QCoro::Task<bool> NetworkManager::connectSolana() {
    co_return co_await rpcPass(Chain::solana, true);
}

// --- JSON-RPC fail-over ------------------------------------------------------------------------

void NetworkManager::setRPCPoolState(bool solana, Chain chain, std::optional<bool> connected,
                                     const std::string& status) {
    if (solana) {
        setSolanaPoolState(connected, status);
    } else if (connected) {
        setEVMPoolState(chain, *connected, status);
    } else {
        setEVMPoolStatus(chain, status);
    }
}

QCoro::Task<bool> NetworkManager::replaceClientAndProbe(bool solana, Chain chain, QUrl url) {
    // The probes' values are not used: only success or failure counts.
    try {
        if (solana) {
            m_solanaClient.reset();
            const auto client = std::make_shared<SolanaRPCClient>(url, m_options.rpcTimeouts);
            m_solanaClient = client;
            co_await client->getLatestBlockhash();
        } else {
            m_evmClients.erase(chain);
            const auto client = std::make_shared<JSONRPCClient>(url, m_options.rpcTimeouts);
            m_evmClients[chain] = client;
            co_await client->gasPrice();
        }
    } catch (const std::exception&) {
        co_return false; // the status names the endpoint, never the error
    }
    co_return true;
}

QCoro::Task<bool> NetworkManager::rpcPass(Chain chain, bool solana) {
    const QPointer<NetworkManager> self(this);
    const EVMRPCPool start = solana ? m_solanaPool : evmPool(chain);
    const int count = static_cast<int>(start.urls.size());
    if (count == 0) {
        setRPCPoolState(solana, chain, std::nullopt, "All RPCs failed");
        co_return false;
    }
    int index = start.activeIndex;
    for (int attempts = 0;;) {
        if (solana) {
            index = self->m_solanaPool.activeIndex; // Solana's pass re-reads it every attempt
        }
        const QUrl url = start.urls[static_cast<std::size_t>(index)];
        const std::string host = displayHost(url);
        self->setRPCPoolState(solana, chain, std::nullopt, "Connecting to " + host + "...");
        const bool reachable = co_await self->replaceClientAndProbe(solana, chain, url);
        if (!self) {
            co_return false;
        }
        if (reachable) {
            self->setRPCPoolState(solana, chain, true, "Connected: " + host);
            co_return true;
        }
        self->setRPCPoolState(solana, chain, false, "Failed: " + host);
        if (attempts < count - 1) {
            index = (index + 1) % count;
            self->setRPCPoolIndex(chain, solana ? self->m_solanaPool : self->evmPoolStorage(chain),
                                  index);
        }
        ++attempts;
        if (attempts == count) {
            self->setRPCPoolState(solana, chain, std::nullopt, "All RPCs failed");
            co_return false;
        }
    }
}

// --- Queries -----------------------------------------------------------------------------------

bool NetworkManager::isConnected(Chain chain) const {
    switch (chain) {
    case Chain::bitcoin:
        return m_electrumConnected;
    case Chain::solana:
        return m_solanaPool.connected;
    default:
        return evmPool(chain).connected;
    }
}

bool NetworkManager::isConnecting(Chain chain) const {
    switch (chain) {
    case Chain::bitcoin:
        return m_electrumStatus.find("Connecting") != std::string::npos;
    case Chain::solana:
        return m_solanaPool.status.find("Connecting") != std::string::npos;
    default:
        return evmPool(chain).status.find("Connecting") != std::string::npos;
    }
}

std::optional<bool> NetworkManager::isOnFallback(Chain chain) const {
    if (!isConnected(chain)) {
        return std::nullopt;
    }
    switch (chain) {
    case Chain::bitcoin:
        return m_electrumPool.activeIndex != 0;
    case Chain::solana:
        return m_solanaPool.activeIndex != 0;
    default:
        return evmPool(chain).activeIndex != 0;
    }
}

std::optional<std::string> NetworkManager::activeHost(Chain chain) const {
    if (chain == Chain::bitcoin) {
        if (m_electrumPool.servers.empty()) {
            return std::nullopt;
        }
        return m_electrumPool.activeServer().host;
    }
    const EVMRPCPool pool = chain == Chain::solana ? m_solanaPool : evmPool(chain);
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
