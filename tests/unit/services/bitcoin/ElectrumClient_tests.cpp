#include "ElectrumFixture.h"
#include "RunTask.h"
#include "services/bitcoin/ElectrumClient.h"

#include <QCoroTask>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace qm {
namespace {

using nlohmann::json;
using test::ElectrumFixture;
using Code = ElectrumError::Code;

struct Failure {
    Code code;
    std::string text;
};

template <typename T> Failure failureOf(QCoro::Task<T>&& task) {
    try {
        test::runTask(std::move(task));
    } catch (const ElectrumError& e) {
        return {e.code(), e.what()};
    }
    ADD_FAILURE() << "no ElectrumError";
    return {Code::invalidResponse, {}};
}

template <typename T> Code errorOf(QCoro::Task<T>&& task) {
    return failureOf(std::move(task)).code;
}

std::unique_ptr<ElectrumClient> connectedClient(ElectrumFixture& server,
                                                ElectrumClient::Limits limits = {}) {
    auto client =
        std::make_unique<ElectrumClient>(server.host(), server.port(), server.useTLS(), limits);
    const int before = server.connectionCount();
    test::runTask(client->connect());
    EXPECT_TRUE(client->isConnected());
    // The server side finishes its handshake a moment after the client does.
    EXPECT_TRUE(server.waitForConnections(before + 1));
    return client;
}

QCoro::Task<AnyCodable> call(ElectrumClient& client, const std::string& method) {
    return client.call(method, {});
}

// Awaits one request, then drops the connection at once.
QCoro::Task<AnyCodable> callThenDisconnect(ElectrumClient& client, std::string method) {
    AnyCodable result = co_await client.call(std::move(method), {});
    client.disconnect();
    co_return result;
}

TEST(ElectrumClient, RequestLinesAndTypedResults) {
    ElectrumFixture server;
    const std::string sh = "9623df75239b5daa7f5f03042d325b51498c4bb7059c7748b17049bf96f73888";
    server.answer("blockchain.estimatefee", 0.00012);
    server.answer("server.ping", nullptr);
    server.answer("blockchain.scripthash.get_balance", {{"confirmed", 5}, {"unconfirmed", -2}});
    server.answer("blockchain.scripthash.listunspent",
                  json::parse(R"([{"tx_hash":"aa","tx_pos":0,"height":1,"value":7}])"));
    server.answer("blockchain.scripthash.get_history",
                  json::parse(R"([{"tx_hash":"bb","height":0,"fee":300},
                                  {"tx_hash":"cc","height":9}])"));
    server.answer("blockchain.transaction.broadcast", "txid01");
    server.answer("blockchain.scripthash.subscribe", "status1");
    server.answer("blockchain.headers.subscribe", {{"height", 800000}, {"hex", "00ff"}});
    ElectrumClient client(server.host(), server.port(), true);

    // Before connecting: refused without using an identifier, nothing sent.
    EXPECT_EQ(errorOf(client.estimateFee(6)), Code::notConnected);

    test::runTask(client.connect());
    EXPECT_DOUBLE_EQ(test::runTask(client.estimateFee(6)), 0.00012);
    EXPECT_TRUE(test::runTask(call(client, "server.ping")).isNull());
    ASSERT_EQ(server.requestLines().size(), 2u);
    EXPECT_EQ(server.requestLines()[0],
              R"({"jsonrpc":"2.0","id":0,"method":"blockchain.estimatefee","params":[6]})");
    EXPECT_EQ(server.requestLines()[1],
              R"({"jsonrpc":"2.0","id":1,"method":"server.ping","params":[]})");

    EXPECT_EQ(test::runTask(client.getBalance(sh)), (ElectrumBalance{5, -2}));
    EXPECT_EQ(server.requests()[2]["params"], json::array({sh}));
    EXPECT_EQ(test::runTask(client.listUnspent(sh)), (std::vector<ElectrumUTXO>{{"aa", 0, 1, 7}}));
    EXPECT_EQ(test::runTask(client.getHistory(sh)).size(), 2u);
    EXPECT_EQ(test::runTask(client.broadcast("0200")), "txid01");
    EXPECT_EQ(test::runTask(client.subscribe(sh)), "status1");
    EXPECT_EQ(test::runTask(client.subscribeHeaders()), (ElectrumBlockHeader{800000, "00ff"}));

    // Results of the wrong shape.
    server.answer("blockchain.estimatefee", -1);
    EXPECT_DOUBLE_EQ(test::runTask(client.estimateFee(1)), -1.0);
    server.answer("blockchain.estimatefee", "0.0001");
    EXPECT_EQ(errorOf(client.estimateFee(3)), Code::invalidResponse);
    server.answer("blockchain.scripthash.subscribe", nullptr);
    EXPECT_EQ(test::runTask(client.subscribe(sh)), std::nullopt);
    server.answer("blockchain.scripthash.listunspent", 5);
    EXPECT_EQ(errorOf(client.listUnspent(sh)), Code::decodingFailed);
    EXPECT_TRUE(client.isConnected());
}

TEST(ElectrumClient, ServerErrorsAndOddResponses) {
    ElectrumFixture server;
    server.answerError("blockchain.transaction.broadcast", -26, "min relay fee not met");
    server.answerRaw("both", [](const json& r) {
        return json{{"id", r["id"]}, {"result", 1}, {"error", {{"code", 2}, {"message", "m"}}}}
                   .dump() +
               "\n";
    });
    server.answerRaw("neither", [](const json& r) { return json{{"id", r["id"]}}.dump() + "\n"; });
    // A malformed answer carrying the waiting request's id ends that request at once.
    server.answerRaw("malformed", [](const json& r) {
        return json{{"id", r["id"]}, {"error", "boom"}}.dump() + "\n";
    });
    // Lines for nobody: an unknown id, junk, an empty line; then the real answer.
    server.answerRaw("noise", [](const json& r) {
        return std::string("{\"id\":999,\"result\":5}\nnot json\n\n") +
               json{{"id", r["id"]}, {"result", "ok"}}.dump() + "\r\n";
    });
    auto client = connectedClient(server);

    const auto refused = failureOf(client->broadcast("00"));
    EXPECT_EQ(refused.code, Code::serverError);
    EXPECT_EQ(refused.text, "Server error -26: min relay fee not met");
    EXPECT_EQ(errorOf(call(*client, "both")), Code::serverError);
    EXPECT_TRUE(test::runTask(call(*client, "neither")).isNull());
    EXPECT_EQ(errorOf(call(*client, "malformed")), Code::invalidResponse);
    EXPECT_EQ(test::runTask(call(*client, "noise")), AnyCodable(std::string("ok")));
    EXPECT_TRUE(client->isConnected());
}

TEST(ElectrumClient, OutOfOrderMergedAndSplitAnswers) {
    ElectrumFixture server;
    server.answerRaw("echo", [](const json& r) {
        return json{{"id", r["id"]}, {"result", r["params"][0]}}.dump() + "\n";
    });
    auto client = connectedClient(server);

    server.holdAnswers(true);
    auto first = client->call("echo", {ElectrumJSONValue::string("first")});
    auto second = client->call("echo", {ElectrumJSONValue::string("second")});
    ASSERT_TRUE(server.waitForRequests(2));
    ASSERT_EQ(server.heldCount(), 2u);
    server.releaseHeld(/*reverse=*/true); // one write, second answer first
    EXPECT_EQ(test::runTask(std::move(first)), AnyCodable(std::string("first")));
    EXPECT_EQ(test::runTask(std::move(second)), AnyCodable(std::string("second")));
    server.holdAnswers(false);

    // Cut into 3-byte pieces, each written on its own turn.
    server.setSplitWrites(3);
    EXPECT_EQ(test::runTask(client->call("echo", {ElectrumJSONValue::string("split")})),
              AnyCodable(std::string("split")));
}

TEST(ElectrumClient, CallersResumeOnlyAfterTheReceivedLinesAreHandled) {
    ElectrumFixture server;
    server.answer("a", "A");
    server.answer("b", "B");
    auto client = connectedClient(server);
    server.holdAnswers(true);
    auto first = callThenDisconnect(*client, "a");
    auto second = call(*client, "b");
    ASSERT_TRUE(server.waitForRequests(2));
    server.releaseHeld(); // both answers in one write
    // Had the first caller resumed inside the line handling, its disconnect would have
    // failed the second request before its answer was read.
    EXPECT_EQ(test::runTask(std::move(first)), AnyCodable(std::string("A")));
    EXPECT_EQ(test::runTask(std::move(second)), AnyCodable(std::string("B")));
    EXPECT_FALSE(client->isConnected());
}

TEST(ElectrumClient, Notifications) {
    ElectrumFixture server;
    server.answer("server.ping", nullptr);
    auto client = connectedClient(server);

    // No callback installed: nothing happens.
    server.notify("blockchain.scripthash.subscribe", json::array({"aa", "s0"}));
    test::runTask(call(*client, "server.ping"));

    std::vector<std::pair<std::string, std::optional<std::string>>> scripts;
    std::vector<ElectrumBlockHeader> headers;
    client->onScriptHashNotification = [&](const std::string& hash,
                                           const std::optional<std::string>& status) {
        scripts.emplace_back(hash, status);
    };
    client->onHeaderNotification = [&](const ElectrumBlockHeader& h) { headers.push_back(h); };

    server.notify("blockchain.scripthash.subscribe", json::array({"aa", "s1"}));
    server.notify("blockchain.scripthash.subscribe", json::array({"bb"}));
    server.notify("blockchain.scripthash.subscribe", json::array({7, "s"})); // not a hash: ignored
    server.notify("blockchain.headers.subscribe",
                  json::array({{{"height", 9}}})); // no "hex": ignored
    server.notify("blockchain.headers.subscribe", json::array({{{"height", 10}, {"hex", "ab"}}}));
    server.notify("blockchain.other", json::array({1}));
    // A ping after the notifications: once it is answered they have all been handled.
    test::runTask(call(*client, "server.ping"));

    EXPECT_EQ(scripts, (decltype(scripts){{"aa", "s1"}, {"bb", std::nullopt}}));
    EXPECT_EQ(headers, (std::vector<ElectrumBlockHeader>{{10, "ab"}}));
}

TEST(ElectrumClient, FailedConnectDropsTheConnection) {
    // Nothing listens on a port we just freed.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const auto closedPort = probe.serverPort();
    probe.close();
    ElectrumClient refused("127.0.0.1", closedPort, true);
    EXPECT_EQ(errorOf(refused.connect()), Code::connectionFailed);
    EXPECT_FALSE(refused.isConnected());
    EXPECT_EQ(errorOf(call(refused, "server.ping")), Code::notConnected);

    // A server that never completes the TLS handshake: our connect limit ends it.
    ElectrumFixture silent(ElectrumFixture::Mode::silent);
    ElectrumClient::Limits limits;
    limits.connectTimeout = std::chrono::milliseconds(200);
    ElectrumClient stalled(silent.host(), silent.port(), true, limits);
    const auto timedOut = failureOf(stalled.connect());
    EXPECT_EQ(timedOut.code, Code::connectionFailed);
    EXPECT_EQ(timedOut.text, "Connection failed: Connection timed out");
    EXPECT_EQ(errorOf(call(stalled, "server.ping")), Code::notConnected);
    EXPECT_EQ(silent.connectionCount(), 1);

    // The client goes away while connecting: its caller is released.
    auto gone = std::make_unique<ElectrumClient>(silent.host(), silent.port(), true);
    auto pendingConnect = gone->connect();
    gone.reset();
    EXPECT_EQ(failureOf(std::move(pendingConnect)).text, "Connection failed: Cancelled");

    // The platform's certificate verification stays on: an untrusted server is refused.
    ElectrumFixture untrusted(ElectrumFixture::Mode::untrustedTls);
    ElectrumClient wary(untrusted.host(), untrusted.port(), true);
    EXPECT_EQ(errorOf(wary.connect()), Code::connectionFailed);
    EXPECT_EQ(errorOf(call(wary, "server.ping")), Code::notConnected);
    EXPECT_EQ(untrusted.requestCount(), 0);

    // The server hangs up in the middle of the handshake.
    ElectrumFixture hangUp(ElectrumFixture::Mode::silent);
    ElectrumClient cut(hangUp.host(), hangUp.port(), true);
    auto attempt = cut.connect();
    ASSERT_TRUE(hangUp.waitForConnections(1));
    hangUp.closeAll();
    EXPECT_EQ(errorOf(std::move(attempt)), Code::connectionFailed);
    EXPECT_EQ(errorOf(call(cut, "server.ping")), Code::notConnected);
}

TEST(ElectrumClient, UnansweredRequestTimesOut) {
    ElectrumFixture server;
    server.stall("slow");
    server.answer("fast", 1);
    ElectrumClient::Limits limits;
    limits.requestTimeout = std::chrono::milliseconds(200);
    auto client = connectedClient(server, limits);
    auto slow = call(*client, "slow");
    EXPECT_EQ(test::runTask(call(*client, "fast")), AnyCodable(std::int64_t{1}));
    const auto timedOut = failureOf(std::move(slow));
    EXPECT_EQ(timedOut.code, Code::timeout);
    EXPECT_EQ(timedOut.text, "Request timed out.");
    // Only that request ended; a late answer for it is dropped.
    EXPECT_TRUE(client->isConnected());
    server.sendRaw(R"({"id":0,"result":"late"})"
                   "\n");
    EXPECT_EQ(test::runTask(call(*client, "fast")), AnyCodable(std::int64_t{1}));
}

TEST(ElectrumClient, TheConnectionEndingReleasesWaitingCallers) {
    ElectrumFixture server;
    server.stall("slow");
    // Data and the end of the stream together: the answer is handled first.
    auto client = connectedClient(server);
    auto a = call(*client, "slow");
    auto b = call(*client, "slow");
    ASSERT_TRUE(server.waitForRequests(2));
    server.sendRaw(R"({"id":0,"result":"done"})"
                   "\n");
    server.closeAll(/*abrupt=*/false);
    EXPECT_EQ(test::runTask(std::move(a)), AnyCodable(std::string("done")));
    EXPECT_EQ(errorOf(std::move(b)), Code::notConnected);

    // An abrupt close fails the waiting request and every later one, which is never sent.
    client = connectedClient(server);
    auto waiting = call(*client, "slow");
    ASSERT_TRUE(server.waitForRequests(3));
    server.closeAll(/*abrupt=*/true);
    EXPECT_EQ(errorOf(std::move(waiting)), Code::notConnected);
    EXPECT_FALSE(client->isConnected());
    EXPECT_EQ(errorOf(call(*client, "slow")), Code::notConnected);
    EXPECT_EQ(server.requestCount(), 3);

    // A line that never ends disconnects.
    client = connectedClient(server);
    auto endless = call(*client, "slow");
    ASSERT_TRUE(server.waitForRequests(4));
    const std::string megabyte(1024 * 1024, 'x');
    for (int i = 0; i < 33; ++i) {
        server.sendRaw(megabyte); // no newline anywhere
    }
    EXPECT_EQ(errorOf(std::move(endless)), Code::notConnected);
    EXPECT_FALSE(client->isConnected());
}

TEST(ElectrumClient, CallbackMayDropTheConnectionOrTheClient) {
    ElectrumFixture server;
    server.stall("slow");
    auto client = connectedClient(server);
    auto waiting = call(*client, "slow");
    ASSERT_TRUE(server.waitForRequests(1));
    client->onScriptHashNotification = [&](const std::string&, const std::optional<std::string>&) {
        client->disconnect();
    };
    // Two notifications in one write: the second is never handled after the disconnect.
    server.sendRaw(
        json{{"method", "blockchain.scripthash.subscribe"}, {"params", {"a"}}}.dump() + "\n" +
        json{{"method", "blockchain.scripthash.subscribe"}, {"params", {"b"}}}.dump() + "\n");
    EXPECT_EQ(errorOf(std::move(waiting)), Code::notConnected);

    auto second = connectedClient(server);
    auto pending = call(*second, "slow");
    ASSERT_TRUE(server.waitForRequests(2));
    second->onHeaderNotification = [&](const ElectrumBlockHeader&) { second.reset(); };
    server.notify("blockchain.headers.subscribe", json::array({{{"height", 1}, {"hex", ""}}}));
    // The waiting caller is released when its client goes away.
    EXPECT_EQ(errorOf(std::move(pending)), Code::notConnected);
    EXPECT_EQ(second, nullptr);
}

} // namespace
} // namespace qm
