// Typed results and notifications reach the wallet in the refresh tests (BitcoinRefresh,
// RefreshOrchestrator); here, the failures a server or the network may cause.
#include "ElectrumFixture.h"
#include "RunTask.h"
#include "services/bitcoin/ElectrumClient.h"

#include <QCoroTask>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm {
namespace {

using nlohmann::json;
using test::ElectrumFixture;
using Code = ElectrumError::Code;

// The code and text of the error a task ends with.
template <typename T> std::pair<Code, std::string> failureOf(QCoro::Task<T>&& task) {
    try {
        test::runTask(std::move(task));
    } catch (const ElectrumError& e) {
        return {e.code(), e.what()};
    }
    ADD_FAILURE() << "no ElectrumError";
    return {};
}

template <typename T> Code errorOf(QCoro::Task<T>&& task) {
    return failureOf(std::move(task)).first;
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

QCoro::Task<nlohmann::json> call(ElectrumClient& client, const std::string& method) {
    return client.call(method, {});
}

// Awaits one request, then drops the connection at once.
QCoro::Task<nlohmann::json> callThenDisconnect(ElectrumClient& client, std::string method) {
    nlohmann::json result = co_await client.call(std::move(method), {});
    client.disconnect();
    co_return result;
}

TEST(ElectrumClient, ServerErrorsAndMalformedReplies) {
    ElectrumFixture server;
    server.answer("blockchain.estimatefee", "0.0001"); // text, not a number
    server.answer("blockchain.scripthash.listunspent", 5);
    server.answerError("blockchain.transaction.broadcast", -26, "min relay fee not met");
    // An error beside a result; a malformed error, which ends the waiting request at once.
    server.answerRaw("both", [](const json& r) {
        return R"({"result":1,"error":{"code":2,"message":"m"},"id":)" + r["id"].dump() + "}\n";
    });
    server.answerRaw("malformed", [](const json& r) {
        return R"({"error":"boom","id":)" + r["id"].dump() + "}\n";
    });
    // Lines for nobody: an unknown id, a notification of no interest, an empty line; then the
    // real answer.
    server.answerRaw("noise", [](const json& r) {
        return std::string("{\"id\":999,\"result\":5}\n{\"method\":\"x\",\"params\":[]}\n\n") +
               json{{"id", r["id"]}, {"result", "ok"}}.dump() + "\r\n";
    });
    server.answer("first", 1);
    server.answer("second", 2);
    ElectrumClient client(server.host(), server.port(), true);
    // Before connecting: refused without using an identifier, nothing sent.
    EXPECT_EQ(errorOf(client.estimateFee(6)), Code::notConnected);
    test::runTask(client.connect());

    EXPECT_EQ(errorOf(client.estimateFee(6)), Code::invalidResponse);
    EXPECT_EQ(server.requestLines().at(0),
              R"({"jsonrpc":"2.0","id":0,"method":"blockchain.estimatefee","params":[6]})");
    EXPECT_EQ(errorOf(client.listUnspent("aa")), Code::decodingFailed);
    EXPECT_EQ(failureOf(client.broadcast("00")),
              std::pair(Code::serverError, std::string("Server error -26: min relay fee not met")));
    EXPECT_EQ(errorOf(call(client, "both")), Code::serverError);
    EXPECT_EQ(errorOf(call(client, "malformed")), Code::invalidResponse);
    EXPECT_EQ(test::runTask(call(client, "noise")), nlohmann::json("ok"));

    // Two answers in one write, cut into 3-byte pieces, the second request's first.
    server.holdAnswers(true);
    server.setSplitWrites(3);
    auto first = call(client, "first");
    auto second = call(client, "second");
    ASSERT_TRUE(server.waitForRequests(8));
    server.releaseHeld(/*reverse=*/true);
    EXPECT_EQ(test::runTask(std::move(first)), nlohmann::json(1));
    EXPECT_EQ(test::runTask(std::move(second)), nlohmann::json(2));
    EXPECT_TRUE(client.isConnected());
}

// The client's own 30 s time-out stays: a request that ends sooner ended by the bad line.
TEST(ElectrumClient, ALineThatIsNoJSONObjectFailsTheWaitingRequestsAtOnce) {
    ElectrumFixture server;
    server.stall("slow");
    server.answer("fine", "ok");
    server.answerRaw("garbled", [](const json&) { return std::string("{\"id\":1,\"res\n"); });
    server.answerRaw("scalar", [](const json&) { return std::string("[\"ok\"]\n"); });
    auto client = connectedClient(server);
    auto waiting = call(*client, "slow");
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(failureOf(call(*client, "garbled")),
              std::pair(Code::invalidResponse, std::string("Invalid server response.")));
    // Whose answer it was cannot be told: the other waiting request ends with it.
    EXPECT_EQ(errorOf(std::move(waiting)), Code::invalidResponse);
    EXPECT_EQ(errorOf(call(*client, "scalar")), Code::invalidResponse);
    // The connection stays, and so does every later request.
    EXPECT_TRUE(client->isConnected());
    EXPECT_EQ(test::runTask(call(*client, "fine")), nlohmann::json("ok"));
}

TEST(ElectrumClient, TlsIsVerifiedAndAStalledHandshakeEnds) {
    // The platform's certificate verification stays on: an untrusted server is refused.
    ElectrumFixture untrusted(ElectrumFixture::Mode::untrustedTls);
    ElectrumClient wary(untrusted.host(), untrusted.port(), true);
    EXPECT_EQ(errorOf(wary.connect()), Code::connectionFailed);
    EXPECT_EQ(untrusted.requestCount(), 0);

    // A server that never completes the handshake: our connect limit ends it.
    ElectrumFixture silent(ElectrumFixture::Mode::silent);
    ElectrumClient::Limits limits;
    limits.connectTimeout = std::chrono::milliseconds(200);
    ElectrumClient stalled(silent.host(), silent.port(), true, limits);
    EXPECT_EQ(failureOf(stalled.connect()).second, "Connection failed: Connection timed out");

    // The client goes away while connecting: its caller is released.
    auto gone = std::make_unique<ElectrumClient>(silent.host(), silent.port(), true);
    auto pendingConnect = gone->connect();
    gone.reset();
    EXPECT_EQ(failureOf(std::move(pendingConnect)).second, "Connection failed: Cancelled");
}

TEST(ElectrumClient, UnansweredRequestTimesOut) {
    ElectrumFixture server;
    server.stall("slow");
    server.answer("fast", 1);
    ElectrumClient::Limits limits;
    limits.requestTimeout = std::chrono::milliseconds(200);
    auto client = connectedClient(server, limits);
    auto slow = call(*client, "slow");
    EXPECT_EQ(test::runTask(call(*client, "fast")), nlohmann::json(1));
    EXPECT_EQ(failureOf(std::move(slow)),
              std::pair(Code::timeout, std::string("Request timed out.")));
    // Only that request ended; a late answer for it is dropped.
    EXPECT_TRUE(client->isConnected());
    server.sendRaw(R"({"id":0,"result":"late"})"
                   "\n");
    EXPECT_EQ(test::runTask(call(*client, "fast")), nlohmann::json(1));
}

TEST(ElectrumClient, TheConnectionEndingReleasesWaitingCallers) {
    ElectrumFixture server;
    server.stall("slow");
    server.answer("a", "A");
    server.answer("b", "B");
    // Data and the end of the stream together: the answer is handled first.
    auto client = connectedClient(server);
    auto a = call(*client, "slow");
    auto b = call(*client, "slow");
    ASSERT_TRUE(server.waitForRequests(2));
    server.sendRaw(R"({"id":0,"result":"done"})"
                   "\n");
    server.closeAll(/*abrupt=*/false);
    EXPECT_EQ(test::runTask(std::move(a)), nlohmann::json("done"));
    EXPECT_EQ(errorOf(std::move(b)), Code::notConnected);

    // A line that never ends disconnects.
    client = connectedClient(server);
    auto endless = call(*client, "slow");
    ASSERT_TRUE(server.waitForRequests(3));
    const std::string megabyte(1024 * 1024, 'x');
    for (int i = 0; i < 33; ++i) {
        server.sendRaw(megabyte); // no newline anywhere
    }
    EXPECT_EQ(errorOf(std::move(endless)), Code::notConnected);
    EXPECT_FALSE(client->isConnected());

    // Callers resume only after the received lines are handled: had the first resumed inside
    // the line handling, its disconnect would have failed the second before its answer was read.
    client = connectedClient(server);
    server.holdAnswers(true);
    auto first = callThenDisconnect(*client, "a");
    auto second = call(*client, "b");
    ASSERT_TRUE(server.waitForRequests(5));
    server.releaseHeld(); // both answers in one write
    EXPECT_EQ(test::runTask(std::move(first)), nlohmann::json("A"));
    EXPECT_EQ(test::runTask(std::move(second)), nlohmann::json("B"));
    EXPECT_FALSE(client->isConnected());
}

// A script-hash notification is [script hash, status]: the status is read from the second
// parameter, a non-text one (null: no history) is none, and a notification without the
// script hash is dropped. Notifications of one line each, in the order sent.
TEST(ElectrumClient, AScriptHashNotificationReadsItsStatusFromTheSecondParameter) {
    ElectrumFixture server;
    auto client = connectedClient(server);
    std::vector<std::pair<std::string, std::optional<std::string>>> heard;
    client->onScriptHashNotification = [&heard](const std::string& scriptHash,
                                                const std::optional<std::string>& status) {
        heard.emplace_back(scriptHash, status);
    };
    const std::string hash(64, 'a');
    const std::string status(64, 'b');
    server.notify("blockchain.scripthash.subscribe", json::array({hash, status}));
    server.notify("blockchain.scripthash.subscribe", json::array({hash, nullptr}));
    server.notify("blockchain.scripthash.subscribe", json::array({hash}));
    server.notify("blockchain.scripthash.subscribe", json::array({hash, 5}));
    server.notify("blockchain.scripthash.subscribe", json::array({nullptr, status}));
    server.notify("blockchain.scripthash.subscribe", json::array({status, hash}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.size() >= 5; }, 10'000));
    const std::vector<std::pair<std::string, std::optional<std::string>>> expected = {
        {hash, status},
        {hash, std::nullopt},
        {hash, std::nullopt},
        {hash, std::nullopt},
        {status, hash}};
    EXPECT_EQ(heard, expected);
}

} // namespace
} // namespace qm
