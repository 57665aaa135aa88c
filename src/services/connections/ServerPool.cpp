#include "services/connections/ServerPool.h"

namespace qm {
namespace {

struct ElectrumTableEntry {
    const char* host;
    std::uint16_t port;
    bool useTLS;
};

#ifdef QM_SERVER_POOL_TABLE
#include QM_SERVER_POOL_TABLE
#else
#include "services/connections/ServerPoolTable.inc"
#endif

EVMRPCPool rpcPool(const std::vector<const char*>& texts) {
    EVMRPCPool pool;
    for (const char* text : texts) {
        QUrl url(QString::fromUtf8(text), QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty()) {
            fatalError("compiled-in RPC URL does not parse");
        }
        pool.urls.push_back(std::move(url));
    }
    return pool;
}

} // namespace

ServerPoolTable defaultServerPools() {
    ServerPoolTable table;
    for (const auto& entry : kElectrumServers) {
        table.electrum.servers.push_back(
            ServerPool::Server{QUuid::createUuid(), entry.host, entry.port, entry.useTLS});
    }
    table.ethereum = rpcPool(kEthereumRPCURLs);
    table.arbitrum = rpcPool(kArbitrumRPCURLs);
    table.polygon = rpcPool(kPolygonRPCURLs);
    table.solana = rpcPool(kSolanaRPCURLs);
    return table;
}

} // namespace qm
