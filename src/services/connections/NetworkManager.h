#pragma once
// The one place that knows which servers the wallet talks to: the Electrum pool for Bitcoin
// and the JSON-RPC pools of Ethereum, Arbitrum, Polygon and Solana, the live client on the
// active entry of each, and fail-over along a pool when a connection or probe fails.
//
// A QObject on the GUI thread, kept for the life of the process. Clients are handed out as
// std::shared_ptr: one that fail-over replaces stays alive for the coroutines still awaiting
// it. Progress is reported through connection phases (with their status texts) and connected
// flags, never by throwing.

#include "core/model/Chain.h"
#include "platform/async/CancellationToken.h"
#include "platform/async/OneShot.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/connections/ServerPool.h"
#include "services/evm/JSONRPCClient.h"
#include "services/network/HttpSession.h"
#include "services/solana/SolanaRPCClient.h"

#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

// The status text of `phase` for a pool of `chain` ("All servers failed" for Bitcoin's, "All
// RPCs failed" for the others); `host` names the server of the phases that have one.
std::string connectionStatusText(Chain chain, ConnectionPhase phase, const std::string& host);

class NetworkManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool electrumConnected READ electrumConnected WRITE setElectrumConnected NOTIFY
                   electrumConnectedChanged)
    Q_PROPERTY(QString electrumStatus READ electrumStatusText NOTIFY electrumStatusChanged)

public:
    // Limits of the clients the manager creates; tests shorten them.
    struct Options {
        ElectrumClient::Limits electrumLimits;
        // Every JSON-RPC client gets a session of its own with these time-outs.
        HttpTimeouts rpcTimeouts{std::chrono::seconds(30), std::chrono::seconds(60)};
    };

    // The compiled-in pools, every index 0, no client yet.
    explicit NetworkManager(QObject* parent = nullptr);
    NetworkManager(ServerPoolTable pools, Options options, QObject* parent = nullptr);
    ~NetworkManager() override;

    const Options& options() const { return m_options; }
    const ServerPool& electrumPool() const { return m_electrumPool; }
    const EVMRPCPool& ethPool() const { return m_ethPool; }
    const EVMRPCPool& arbPool() const { return m_arbPool; }
    const EVMRPCPool& polygonPool() const { return m_polygonPool; }
    const EVMRPCPool& solanaPool() const { return m_solanaPool; }

    bool electrumConnected() const { return m_electrumConnected; }
    // The application state clears it when a Bitcoin request fails, before reconnecting.
    void setElectrumConnected(bool connected);
    const std::string& electrumStatus() const { return m_electrumStatus; }
    QString electrumStatusText() const { return QString::fromStdString(m_electrumStatus); }

    // The chain's client once its pool is connected: connects first when it is not, or when
    // the Electrum client's connection ended (awaiting a pass already running, for Electrum).
    // None when every server failed, `cancel` was cancelled meanwhile or the manager went
    // away. Never throws.
    QCoro::Task<std::shared_ptr<ElectrumClient>> connectedElectrumClient(CancellationToken cancel);
    // `chain` is Ethereum, Arbitrum or Polygon (anything else stops the process).
    QCoro::Task<std::shared_ptr<JSONRPCClient>> connectedEVMClient(Chain chain,
                                                                   CancellationToken cancel);
    QCoro::Task<std::shared_ptr<SolanaRPCClient>> connectedSolanaClient(CancellationToken cancel);

    // The clients held now (none until first asked for or connected).
    const std::shared_ptr<ElectrumClient>& electrumClient() const { return m_electrumClient; }
    const std::map<Chain, std::shared_ptr<JSONRPCClient>>& evmClients() const {
        return m_evmClients;
    }
    const std::shared_ptr<SolanaRPCClient>& solanaClient() const { return m_solanaClient; }

    // The client on the active Electrum server, created unconnected when there is none.
    std::shared_ptr<ElectrumClient> currentElectrumClient();
    // Tries the servers in turn from the active one; true when one connected, false when all
    // failed. Never throws. A call made while a pass runs awaits that pass's result.
    QCoro::Task<bool> connectElectrum();
    // Drops the client (no request is sent to it): not connected, "Disconnected".
    void disconnectElectrum();
    // Puts a server in front of the list and makes it active, disconnected. Memory only.
    void useCustomElectrumServer(std::string host, std::uint16_t port, bool useTLS);

    // A copy of the chain's pool: Arbitrum's, Polygon's, or Ethereum's for every other chain.
    EVMRPCPool evmPool(Chain chain) const;
    // The cached client of the chain, or a new one on the pool's active URL. Never probes.
    std::shared_ptr<JSONRPCClient> evmClient(Chain chain);
    // Probes the pool's URLs in turn (eth_gasPrice) from the active one. Never throws.
    QCoro::Task<bool> connectEVM(Chain chain);
    // Sets the phase (and its status text) of the chain's pool. Connected sets the connected
    // flag; disconnected, failed and fetch failed clear it; the others leave it.
    void setConnectionPhase(Chain chain, ConnectionPhase phase, const std::string& host = {});

    // The client on the active Solana URL, created when there is none. Never probes.
    std::shared_ptr<SolanaRPCClient> currentSolanaClient();
    // Probes the Solana URLs in turn (getLatestBlockhash) from the active one. Never throws.
    QCoro::Task<bool> connectSolana();

    bool isConnected(Chain chain) const;
    ConnectionPhase connectionPhase(Chain chain) const;
    bool isConnecting(Chain chain) const;
    // Absent while the chain is not connected; else whether a server other than the first
    // of its list is in use.
    std::optional<bool> isOnFallback(Chain chain) const;
    // Host of the active server or URL; absent when the URL has none (or the list is empty).
    std::optional<std::string> activeHost(Chain chain) const;

    // The name a status text gives a URL: its host, or "RPC" when it has none.
    static std::string displayHost(const QUrl& url);

signals:
    void electrumConnectedChanged(bool connected);
    void electrumStatusChanged(const QString& status);
    void electrumPoolChanged();
    // A pool of Ethereum, Arbitrum, Polygon or Solana changed (index, flag or status).
    void rpcPoolChanged(qm::Chain chain);

private:
    // connectElectrum(), connectSolana() or connectEVM(chain).
    QCoro::Task<bool> connect(Chain chain);
    // The one body of the connected...Client() coroutines.
    template <typename Client>
    QCoro::Task<std::shared_ptr<Client>> connectedClient(Chain chain, CancellationToken cancel);
    QCoro::Task<bool> runElectrumPass();
    void setElectrumPhase(ConnectionPhase phase, const std::string& host = {});
    void setElectrumActiveIndex(int index);
    // The JSON-RPC pool of the chain: Solana's, Arbitrum's, Polygon's, or Ethereum's for every
    // other chain.
    template <typename Manager> static auto& rpcPoolOf(Manager& manager, Chain chain);
    // The fail-over loop of connectEVM(chain) and connectSolana(), on the chain's pool.
    QCoro::Task<bool> rpcPass(Chain chain);
    // Replaces the chain's client by one on `url` and probes it; whether the probe succeeded.
    QCoro::Task<bool> replaceClientAndProbe(Chain chain, QUrl url);
    void setRPCPoolIndex(Chain chain, int index);

    Options m_options;
    ServerPool m_electrumPool;
    EVMRPCPool m_ethPool;
    EVMRPCPool m_arbPool;
    EVMRPCPool m_polygonPool;
    EVMRPCPool m_solanaPool;
    bool m_electrumConnected = false;
    ConnectionPhase m_electrumPhase = ConnectionPhase::disconnected;
    std::string m_electrumStatus = "Disconnected";
    std::shared_ptr<ElectrumClient> m_electrumClient;
    std::map<Chain, std::shared_ptr<JSONRPCClient>> m_evmClients;
    std::shared_ptr<SolanaRPCClient> m_solanaClient;
    // The Electrum pass in progress, shared with the callers awaiting it: two interleaved
    // passes would replace each other's client.
    std::optional<OneShot<bool>> m_electrumPass;
};

} // namespace qm
