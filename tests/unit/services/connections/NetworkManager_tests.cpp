#include "ElectrumFixture.h"
#include "HttpFixture.h"
#include "RunTask.h"
#include "services/connections/NetworkManager.h"

#include <QTcpServer>
#include <QTest>
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

// Every status text of one pool in order (Chain::bitcoin: the Electrum pool).
struct PoolRecorder {
    PoolRecorder(NetworkManager& manager, Chain chain) {
        QObject::connect(&manager, &NetworkManager::electrumStatusChanged, &context,
                         [this, chain](const QString& status) {
                             if (chain == Chain::bitcoin) {
                                 statuses.push_back(status.toStdString());
                             }
                         });
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

QCoro::Task<nlohmann::json> askName(std::shared_ptr<qm::ElectrumClient> client) {
    std::string method = "name";
    std::vector<qm::ElectrumJSONValue> params;
    co_return co_await client->call(std::move(method), std::move(params));
}

QCoro::Task<qm::UInt256> gasPriceThrough(std::shared_ptr<qm::JSONRPCClient> client) {
    co_return co_await client->gasPrice();
}

} // namespace

// Applying a custom server and connecting to it: SettingsScreens_tests.
TEST(NetworkManager, ElectrumFailsOverFromTheActiveServerPastRefusalAndBrokenTls) {
    ElectrumFixture notTLS(ElectrumFixture::Mode::plain);
    ElectrumFixture good;
    ServerPoolTable table;
    table.electrum.servers = {server(notTLS.host(), notTLS.port(), true),
                              server(good.host(), good.port(), true),
                              server("127.0.0.25", closedPort())};
    table.electrum.activeIndex = 2; // the pass starts here and wraps round
    NetworkManager manager(table, shortLimits());
    PoolRecorder recorder(manager, Chain::bitcoin);
    EXPECT_TRUE(runTask(manager.connectElectrum()));
    EXPECT_EQ(recorder.statuses, (Statuses{"Connecting to 127.0.0.25...", "Failed: 127.0.0.25",
                                           "Connecting to 127.0.0.1...", "Failed: 127.0.0.1",
                                           "Connecting to 127.0.0.1...", "Connected: 127.0.0.1"}));
    EXPECT_EQ(manager.electrumPool().activeIndex, 1);
    EXPECT_TRUE(manager.electrumConnected());
    EXPECT_EQ(manager.isOnFallback(Chain::bitcoin), true); // the next pass starts here
}

// A send after the server dropped the connection: the client handed out is a connected one, on
// the same server while it answers, else on the next of the pool.
TEST(NetworkManager, AnElectrumConnectionThatEndedIsReplacedAtTheNextRequest) {
    auto first = std::make_unique<ElectrumFixture>();
    ElectrumFixture second;
    first->answer("name", "first");
    second.answer("name", "second");
    ServerPoolTable table;
    table.electrum.servers = {server(first->host(), first->port()),
                              server(second.host(), second.port())};
    NetworkManager manager(table, shortLimits());
    ASSERT_TRUE(runTask(manager.connectElectrum()));
    ASSERT_TRUE(first->waitForConnections(1));
    const auto dropped = manager.electrumClient();
    first->closeAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dropped->isConnected(); }));

    const auto again = runTask(manager.connectedElectrumClient({}));
    ASSERT_TRUE(again);
    EXPECT_NE(again, dropped);
    EXPECT_EQ(runTask(askName(again)), "first");
    EXPECT_EQ(first->connectionCount(), 2);
    EXPECT_EQ(manager.electrumStatus(), "Connected: 127.0.0.1");

    // The server is gone for good: the next one.
    first.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !again->isConnected(); }));
    const auto next = runTask(manager.connectedElectrumClient({}));
    ASSERT_TRUE(next);
    EXPECT_EQ(runTask(askName(next)), "second");
    EXPECT_EQ(manager.electrumPool().activeIndex, 1);
    EXPECT_TRUE(manager.electrumConnected());
}

TEST(NetworkManager, ConcurrentElectrumConnectsShareOnePass) {
    ElectrumFixture good;
    ServerPoolTable table;
    table.electrum.servers = {server("127.0.0.22", closedPort()), server(good.host(), good.port())};
    NetworkManager manager(table, shortLimits());
    auto first = manager.connectElectrum();
    auto second = manager.connectElectrum(); // both Bitcoin jobs saw the connection drop
    EXPECT_TRUE(runTask(std::move(first)));
    EXPECT_TRUE(runTask(std::move(second)));
    // The server counts a TLS connection a moment after the client is connected.
    EXPECT_TRUE(good.waitForConnections(1));
    EXPECT_EQ(good.connectionCount(), 1);

    NetworkManager empty(ServerPoolTable{}, shortLimits());
    EXPECT_FALSE(runTask(empty.connectElectrum()));
    EXPECT_EQ(empty.electrumStatus(), "All servers failed");
}

TEST(NetworkManager, RPCPoolsRotateFailOverAndKeepReplacedClientsAlive) {
    HttpFixture broken;
    broken.setHandler([](const auto&) {
        return HttpFixtureResponse::json(R"({"jsonrpc":"2.0","id":1,"error":{"code":-1}})", 500);
    });
    HttpFixture good;
    good.setHandler([](const auto&) { return HttpFixtureResponse::jsonRPCResult("0x3b9aca00"); });
    ServerPoolTable table;
    table.polygon.urls = {QUrl(QString("http://127.0.0.41:%1/").arg(closedPort())), good.url(),
                          broken.url()};
    table.polygon.activeIndex = 2; // the pass starts here and wraps round
    table.solana.urls = {broken.url("/sol")};
    NetworkManager manager(table, shortLimits());

    PoolRecorder polygon(manager, Chain::polygon);
    EXPECT_TRUE(runTask(manager.connectEVM(Chain::polygon)));
    EXPECT_EQ(polygon.statuses, (Statuses{"Connecting to 127.0.0.1...", "Failed: 127.0.0.1",
                                          "Connecting to 127.0.0.41...", "Failed: 127.0.0.41",
                                          "Connecting to 127.0.0.1...", "Connected: 127.0.0.1"}));
    EXPECT_EQ(manager.polygonPool().activeIndex, 1);
    EXPECT_EQ(manager.isOnFallback(Chain::polygon), true);
    ASSERT_EQ(broken.requests().size(), 1u);
    EXPECT_NE(broken.requests()[0].body.indexOf("eth_gasPrice"), -1);
    // A coroutine still awaiting a client that a later pass replaces gets its answer.
    const auto first = manager.evmClient(Chain::polygon);
    auto pending = gasPriceThrough(first);
    EXPECT_TRUE(runTask(manager.connectEVM(Chain::polygon)));
    EXPECT_NE(manager.evmClient(Chain::polygon), first);
    EXPECT_EQ(runTask(std::move(pending)), qm::UInt256(0, 0, 0, 1'000'000'000));

    // Solana's pool probes with getLatestBlockhash.
    PoolRecorder solana(manager, Chain::solana);
    EXPECT_FALSE(runTask(manager.connectSolana()));
    EXPECT_EQ(solana.statuses,
              (Statuses{"Connecting to 127.0.0.1...", "Failed: 127.0.0.1", "All RPCs failed"}));
    ASSERT_EQ(broken.requests().size(), 2u);
    EXPECT_NE(broken.requests()[1].body.indexOf("getLatestBlockhash"), -1);
}
