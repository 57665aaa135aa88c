#pragma once
// The server lists the wallet fails over along: Electrum servers for Bitcoin, JSON-RPC
// endpoint URLs for each EVM chain and for Solana.

#include "platform/Error.h"

#include <QUrl>
#include <QUuid>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct ServerPool {
    struct Server {
        QUuid id; // fresh for every entry made
        std::string host;
        std::uint16_t port = 0;
        bool useTLS = true;

        bool operator==(const Server&) const = default;
    };

    std::vector<Server> servers;
    int activeIndex = 0;

    // The server in use; an index outside the list is a broken invariant and stops the process.
    const Server& activeServer() const {
        if (activeIndex < 0 || static_cast<std::size_t>(activeIndex) >= servers.size()) {
            fatalError("ServerPool: active index out of range");
        }
        return servers[static_cast<std::size_t>(activeIndex)];
    }
};

// Where a pool's connection stands. The status text a pool shows is made from it.
enum class ConnectionPhase {
    disconnected, // "Disconnected"
    connecting,   // "Connecting to <host>..."
    connected,    // "Connected: <host>"
    failed,       // "Failed: <host>"
    allFailed,    // "All servers failed" (Electrum), "All RPCs failed"
    fetchFailed,  // "Fetch failed": a balance read failed on a connected pool
};

struct EVMRPCPool {
    std::vector<QUrl> urls;
    int activeIndex = 0;
    bool connected = false;
    ConnectionPhase phase = ConnectionPhase::disconnected;
    std::string status = "Disconnected";

    // The URL in use; an index outside the list stops the process, as for ServerPool.
    const QUrl& activeURL() const {
        if (activeIndex < 0 || static_cast<std::size_t>(activeIndex) >= urls.size()) {
            fatalError("EVMRPCPool: active index out of range");
        }
        return urls[static_cast<std::size_t>(activeIndex)];
    }

    bool operator==(const EVMRPCPool&) const = default;
};

// The pools a NetworkManager starts from.
struct ServerPoolTable {
    ServerPool electrum;
    EVMRPCPool ethereum;
    EVMRPCPool arbitrum;
    EVMRPCPool polygon;
    EVMRPCPool solana;
};

// The compiled-in pools (public servers, or the loopback table a test build compiles in).
// A URL of the table that does not parse stops the process.
ServerPoolTable defaultServerPools();

} // namespace qm
