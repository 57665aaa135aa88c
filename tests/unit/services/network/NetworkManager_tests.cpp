#include "AnvilNode.h"
#include "ElectrumFixture.h"
#include "HttpFixture.h"
#include "RunTask.h"
#include "services/network/NetworkManager.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <gtest/gtest.h>

using qm::Chain;
using qm::NetworkManager;
using qm::ServerPool;
using qm::ServerPoolTable;
using qm::test::ElectrumFixture;
using qm::test::HttpFixture;
using qm::test::HttpFixtureResponse;
using qm::test::runTask;
using Statuses = std::vector<std::string>;

namespace {

// A loopback port nothing listens on.
std::uint16_t closedPort() {
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    return probe.serverPort();
}

ServerPool::Server server(std::string host, std::uint16_t port, bool useTLS = true) {
    return {QUuid::createUuid(), std::move(host), port, useTLS};
}

NetworkManager::Options shortLimits() {
    NetworkManager::Options options;
    options.electrumLimits.connectTimeout = std::chrono::milliseconds(1500);
    options.rpcTimeouts = {std::chrono::seconds(5), std::chrono::seconds(10)};
    return options;
}

// Every Electrum status text in order, from the property's change signal.
Statuses texts(const QSignalSpy& spy) {
    Statuses out;
    for (const auto& arguments : spy) {
        out.push_back(arguments.at(0).toString().toStdString());
    }
    return out;
}

// Every status text of one JSON-RPC pool in order.
struct PoolRecorder {
    PoolRecorder(NetworkManager& manager, Chain chain) {
        QObject::connect(&manager, &NetworkManager::rpcPoolChanged, &context,
                         [this, &manager, chain](Chain changed) {
                             const auto& pool = chain == Chain::solana ? manager.solanaPool()
                                                                       : manager.evmPool(chain);
                             if (changed == chain &&
                                 (statuses.empty() || statuses.back() != pool.status)) {
                                 statuses.push_back(pool.status);
                             }
                         });
    }
    QObject context;
    Statuses statuses;
};

HttpFixture::Handler always500() {
    return [](const qm::test::HttpFixtureRequest&) {
        return HttpFixtureResponse::json(
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"down"}})", 500);
    };
}

QCoro::Task<qm::UInt256> gasPriceThrough(std::shared_ptr<qm::JSONRPCClient> client) {
    co_return co_await client->gasPrice();
}

} // namespace

TEST(NetworkManager, ElectrumFailsOverFromTheActiveServerPastRefusalAndBrokenTls) {
    ElectrumFixture notTLS(ElectrumFixture::Mode::plain);
    ElectrumFixture good;
    good.answer("server.ping", nullptr);
    ServerPoolTable table;
    const auto port = closedPort();
    table.electrum.servers = {server("127.0.0.21", port),
                              server(notTLS.host(), notTLS.port(), true),
                              server(good.host(), good.port(), true), server("127.0.0.25", port)};
    table.electrum.activeIndex = 3; // the pass starts here and wraps round
    NetworkManager manager(table, shortLimits());
    QSignalSpy statuses(&manager, &NetworkManager::electrumStatusChanged);
    QSignalSpy connected(&manager, &NetworkManager::electrumConnectedChanged);
    std::vector<bool> connecting;
    QObject::connect(&manager, &NetworkManager::electrumStatusChanged,
                     [&] { connecting.push_back(manager.isConnecting(Chain::bitcoin)); });

    EXPECT_TRUE(runTask(manager.connectElectrum()));
    EXPECT_EQ(texts(statuses), (Statuses{"Connecting to 127.0.0.25...", "Failed: 127.0.0.25",
                                         "Connecting to 127.0.0.21...", "Failed: 127.0.0.21",
                                         "Connecting to 127.0.0.1...", "Failed: 127.0.0.1",
                                         "Connecting to 127.0.0.1...", "Connected: 127.0.0.1"}));
    EXPECT_EQ(connecting, (std::vector<bool>{true, false, true, false, true, false, true, false}));
    EXPECT_EQ(connected.count(), 1); // false -> false writes do not notify
    EXPECT_EQ(manager.electrumPool().activeIndex, 2);
    EXPECT_TRUE(manager.electrumConnected());
    EXPECT_EQ(manager.isOnFallback(Chain::bitcoin), true);
    runTask(manager.currentElectrumClient()->call("server.ping", {}));
    EXPECT_EQ(good.requestCount("server.ping"), 1);

    // The next pass starts on the server that worked and replaces the client.
    const auto previous = manager.electrumClient();
    statuses.clear();
    EXPECT_TRUE(runTask(manager.connectElectrum()));
    EXPECT_EQ(texts(statuses), (Statuses{"Connecting to 127.0.0.1...", "Connected: 127.0.0.1"}));
    EXPECT_NE(manager.electrumClient(), previous);
    EXPECT_TRUE(good.waitForConnections(2));
    EXPECT_EQ(notTLS.connectionCount(), 1);
}

TEST(NetworkManager, ConcurrentElectrumConnectsShareOnePass) {
    ElectrumFixture good;
    ServerPoolTable table;
    table.electrum.servers = {server("127.0.0.22", closedPort()), server(good.host(), good.port())};
    NetworkManager manager(table, shortLimits());
    QSignalSpy statuses(&manager, &NetworkManager::electrumStatusChanged);

    auto first = manager.connectElectrum();
    auto second = manager.connectElectrum(); // both Bitcoin jobs saw the connection drop
    EXPECT_TRUE(runTask(std::move(first)));
    EXPECT_TRUE(runTask(std::move(second)));
    // The server counts a TLS connection a moment after the client is connected.
    EXPECT_TRUE(good.waitForConnections(1));
    EXPECT_EQ(good.connectionCount(), 1);
    EXPECT_EQ(texts(statuses), (Statuses{"Connecting to 127.0.0.22...", "Failed: 127.0.0.22",
                                         "Connecting to 127.0.0.1...", "Connected: 127.0.0.1"}));
    ASSERT_TRUE(manager.electrumClient());
    EXPECT_TRUE(manager.electrumClient()->isConnected());

    // The same when every server fails: one pass, one answer for both.
    ServerPoolTable failing;
    failing.electrum.servers = {server("127.0.0.23", closedPort()),
                                server("127.0.0.24", closedPort())};
    NetworkManager down(failing, shortLimits());
    QSignalSpy downStatuses(&down, &NetworkManager::electrumStatusChanged);
    auto a = down.connectElectrum();
    auto b = down.connectElectrum();
    EXPECT_FALSE(runTask(std::move(b)));
    EXPECT_FALSE(runTask(std::move(a)));
    EXPECT_EQ(texts(downStatuses), (Statuses{"Connecting to 127.0.0.23...", "Failed: 127.0.0.23",
                                             "Connecting to 127.0.0.24...", "Failed: 127.0.0.24",
                                             "All servers failed"}));
    EXPECT_EQ(down.electrumPool().activeIndex, 1);
    EXPECT_FALSE(down.isOnFallback(Chain::bitcoin));
    // The last, unconnected client stays.
    ASSERT_TRUE(down.electrumClient());
    EXPECT_EQ(down.electrumClient()->host(), "127.0.0.24");
    EXPECT_FALSE(down.electrumClient()->isConnected());

    // After a pass ends, the next call runs a pass of its own.
    EXPECT_FALSE(runTask(down.connectElectrum()));
    EXPECT_EQ(downStatuses.count(), 10);
    EXPECT_EQ(down.electrumPool().activeIndex, 0);
}

TEST(NetworkManager, CustomElectrumServerGoesFirstAndDisconnects) {
    ElectrumFixture good;
    ServerPoolTable table;
    table.electrum.servers = {server(good.host(), good.port())};
    NetworkManager manager(table, shortLimits());
    ASSERT_TRUE(runTask(manager.connectElectrum()));
    QSignalSpy connected(&manager, &NetworkManager::electrumConnectedChanged);

    manager.useCustomElectrumServer("custom.example", 50001, false);
    ASSERT_EQ(manager.electrumPool().servers.size(), 2u);
    EXPECT_EQ(manager.electrumPool().activeIndex, 0);
    EXPECT_FALSE(manager.electrumClient());
    EXPECT_FALSE(manager.electrumConnected());
    EXPECT_EQ(manager.electrumStatus(), "Disconnected");
    EXPECT_EQ(connected.count(), 1);
    // The next client is made on the custom server, unconnected.
    EXPECT_EQ(manager.currentElectrumClient()->host(), "custom.example");
    EXPECT_EQ(manager.currentElectrumClient()->port(), 50001);
    EXPECT_FALSE(manager.currentElectrumClient()->isConnected());

    NetworkManager empty(ServerPoolTable{}, shortLimits());
    EXPECT_FALSE(runTask(empty.connectElectrum()));
    EXPECT_EQ(empty.electrumStatus(), "All servers failed");
    EXPECT_FALSE(empty.activeHost(Chain::bitcoin));
}

TEST(NetworkManager, EVMFailsOverToAnvilAndKeepsReplacedClientsAlive) {
    if (!qm::test::AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed";
    }
    qm::test::AnvilNode anvil(1);
    HttpFixture broken;
    broken.setHandler(always500());
    ServerPoolTable table;
    table.ethereum.urls = {QUrl(QString("http://127.0.0.31:%1/").arg(closedPort())),
                           broken.url("/rpc"), anvil.url()};
    NetworkManager manager(table, shortLimits());
    PoolRecorder recorder(manager, Chain::ethereum);

    const auto first = manager.evmClient(Chain::ethereum);
    EXPECT_EQ(manager.evmClient(Chain::ethereum), first); // cached, not probed

    EXPECT_TRUE(runTask(manager.connectEVM(Chain::ethereum)));
    EXPECT_EQ(recorder.statuses, (Statuses{"Connecting to 127.0.0.31...", "Failed: 127.0.0.31",
                                           "Connecting to 127.0.0.1...", "Failed: 127.0.0.1",
                                           "Connecting to 127.0.0.1...", "Connected: 127.0.0.1"}));
    EXPECT_EQ(manager.ethPool().activeIndex, 2);
    EXPECT_EQ(manager.isOnFallback(Chain::ethereum), true);
    EXPECT_EQ(manager.evmClient(Chain::ethereum)->url(), anvil.url());
    ASSERT_EQ(broken.requests().size(), 1u);
    EXPECT_NE(broken.requests()[0].body.indexOf("eth_gasPrice"), -1);
    EXPECT_EQ(manager.arbPool().status, "Disconnected"); // the other pools are untouched

    // A coroutine still awaiting a client that a later pass replaces gets its answer.
    auto pending = gasPriceThrough(manager.evmClient(Chain::ethereum));
    EXPECT_TRUE(runTask(manager.connectEVM(Chain::ethereum)));
    EXPECT_GT(runTask(std::move(pending)), qm::UInt256());
}

TEST(NetworkManager, RPCPoolsRotateFailOverAndReportEveryFailure) {
    HttpFixture broken;
    broken.setHandler(always500());
    const auto port = closedPort();
    ServerPoolTable table;
    table.polygon.urls = {QUrl(QString("http://127.0.0.41:%1/").arg(port)),
                          QUrl(QString("http://127.0.0.42:%1/").arg(port)), broken.url()};
    table.polygon.activeIndex = 1;
    table.arbitrum.urls = {QUrl("unix:/nowhere")}; // no host part
    HttpFixture good;
    good.setHandler([](const qm::test::HttpFixtureRequest&) {
        return HttpFixtureResponse::json(
            R"({"jsonrpc":"2.0","id":1,"result":{"context":{"slot":1},"value":{"blockhash":"EkSnNWid2cvwEVnVx9aBqawnmiCNiDgp3gUdkDPTKN1N","lastValidBlockHeight":9}}})");
    });
    table.solana.urls = {broken.url("/a"), good.url("/b")};
    NetworkManager manager(table, shortLimits());

    PoolRecorder polygon(manager, Chain::polygon);
    EXPECT_FALSE(runTask(manager.connectEVM(Chain::polygon)));
    EXPECT_EQ(polygon.statuses,
              (Statuses{"Connecting to 127.0.0.42...", "Failed: 127.0.0.42",
                        "Connecting to 127.0.0.1...", "Failed: 127.0.0.1",
                        "Connecting to 127.0.0.41...", "Failed: 127.0.0.41", "All RPCs failed"}));
    EXPECT_EQ(manager.polygonPool().activeIndex, 0); // the last one tried
    EXPECT_EQ(manager.evmClients().at(Chain::polygon)->url(), table.polygon.urls[0]);
    EXPECT_FALSE(manager.isConnected(Chain::polygon));

    PoolRecorder arbitrum(manager, Chain::arbitrum);
    EXPECT_FALSE(runTask(manager.connectEVM(Chain::arbitrum)));
    EXPECT_EQ(arbitrum.statuses,
              (Statuses{"Connecting to RPC...", "Failed: RPC", "All RPCs failed"}));
    EXPECT_EQ(manager.arbPool().activeIndex, 0);
    EXPECT_FALSE(manager.activeHost(Chain::arbitrum));

    // An empty pool fails at once and leaves the flag alone.
    manager.setEVMPoolState(Chain::ethereum, true, "Connected: x");
    EXPECT_FALSE(runTask(manager.connectEVM(Chain::ethereum)));
    EXPECT_EQ(manager.ethPool().status, "All RPCs failed");
    EXPECT_TRUE(manager.ethPool().connected);

    // Solana's pool fails over the same way, probing with getLatestBlockhash.
    const auto first = manager.currentSolanaClient();
    EXPECT_EQ(manager.currentSolanaClient(), first);
    EXPECT_EQ(broken.requests().size(), 1u); // handing out a client never probes
    PoolRecorder solana(manager, Chain::solana);
    EXPECT_TRUE(runTask(manager.connectSolana()));
    EXPECT_EQ(solana.statuses, (Statuses{"Connecting to 127.0.0.1...", "Failed: 127.0.0.1",
                                         "Connecting to 127.0.0.1...", "Connected: 127.0.0.1"}));
    EXPECT_EQ(manager.isOnFallback(Chain::solana), true);
    EXPECT_EQ(manager.currentSolanaClient()->url(), good.url("/b"));
    ASSERT_EQ(good.requests().size(), 1u);
    EXPECT_NE(good.requests()[0].body.indexOf("getLatestBlockhash"), -1);
    // The next pass starts from the working endpoint.
    EXPECT_TRUE(runTask(manager.connectSolana()));
    EXPECT_EQ(broken.requests().size(), 2u);
}
