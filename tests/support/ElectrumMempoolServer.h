#pragma once
// The Electrum server of tests/peers that keeps a coin set and a mempool (bitcoinjs-lib checks
// every broadcast, a coin is spent once), on a free loopback port over plain TCP, stopped when
// the object goes. serve() puts it behind an ElectrumFixture: the fixture (TLS, trusted by the
// wallet) hands each request to this server and writes its answer back, unless the test
// scripts a method on the fixture itself afterwards. Calls block (the server is a process of
// its own) and throw std::runtime_error.

#include "ElectrumFixture.h"

#include <QProcess>
#include <QTcpSocket>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qm::test {

class ElectrumMempoolServer {
public:
    // `count` confirmed coins of `sats` each at `address`.
    ElectrumMempoolServer(const std::string& address, std::uint64_t sats, int count);
    ~ElectrumMempoolServer();
    ElectrumMempoolServer(const ElectrumMempoolServer&) = delete;
    ElectrumMempoolServer& operator=(const ElectrumMempoolServer&) = delete;

    bool isRunning() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    // Every Electrum method the wallet uses, answered through `front` by this server.
    void serve(ElectrumFixture& front);
    // The server's answer line (with its 0x0A) to `request`, whose id it keeps.
    std::string exchange(const nlohmann::json& request);
    // One request; its "result", or a throw with the error's message.
    nlohmann::json call(const std::string& method, const nlohmann::json& params);
    // Spends `outpoints` ("txid:index") in one transaction signed by another wallet of the
    // published "abandon ... about" phrase; its id.
    std::string spendElsewhere(const std::vector<std::string>& outpoints);

private:
    QProcess m_process;
    QTcpSocket m_socket;
};

} // namespace qm::test
