// The relay client against the loopback relay of tests/peers (Node `ws`, tokens checked with
// @walletconnect/relay-auth): the protocol, and every way a relay or the network lets it down.
#include "RelayFixture.h"
#include "RunTask.h"
#include "services/walletconnect/RelayError.h"
#include "services/walletconnect/WCRelay.h"

#include <QTcpServer>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace qm {
namespace {

using nlohmann::json;
using test::failureOf;
using test::RelayFixture;
using test::runTask;
using test::waitUntil;
using namespace std::chrono_literals;

constexpr const char* kProjectId = "quillmark-tests";

struct Received {
    std::string topic;
    std::string message;
};

// A relay client on the fixture, recording its deliveries and connection changes.
struct Client {
    Client(const std::string& url, WCRelay::Limits limits = {}, std::string projectId = kProjectId)
        : relay(std::make_unique<WCRelay>(WCRelayEndpoint{url, std::move(projectId)}, limits)) {
        QObject::connect(relay.get(), &WCRelay::connectionChanged,
                         [this](bool connected) { changes.push_back(connected); });
    }

    WCRelay::Handler handler() {
        return [this](const std::string& topic, const std::string& message) {
            received.push_back({topic, message});
        };
    }
    std::string subscribe(const std::string& topic) {
        return runTask(relay->subscribe(topic, handler()));
    }
    bool waitForMessages(std::size_t count) {
        return waitUntil([&] { return received.size() >= count; });
    }

    std::unique_ptr<WCRelay> relay;
    std::vector<Received> received;
    std::vector<bool> changes;
};

json delivery(const json& id, const std::string& subscription, const std::string& topic,
              const std::string& message) {
    json frame = {
        {"jsonrpc", "2.0"},
        {"method", "irn_subscription"},
        {"params", {{"id", subscription}, {"data", {{"topic", topic}, {"message", message}}}}}};
    if (!id.is_null()) {
        frame["id"] = id;
    }
    return frame;
}

class RelayTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RelayFixture::isAvailable()) {
            GTEST_SKIP() << "node and tests/peers are not installed (scripts/install-deps)";
        }
    }

    // Frames our client sent that are acknowledgements of `id`.
    static std::size_t acksOf(const RelayFixture& fixture, const json& id) {
        return fixture.count([&](const json& e) {
            return e["event"] == "frame" && e["frame"].is_object() &&
                   !e["frame"].contains("method") && e["frame"]["id"] == id &&
                   e["frame"]["result"] == true;
        });
    }
};

TEST_F(RelayTest, SpeaksTheRelayProtocolWithAFreshVerifiedToken) {
    RelayFixture fixture(0, kProjectId);
    ASSERT_TRUE(fixture.isRunning());
    Client client(fixture.url());
    // Before connect(): refused at once, nothing sent, no identifier used.
    EXPECT_EQ(failureOf(client.relay->sendAndWait(1, json{{"id", 1}})), "Not connected to relay");
    EXPECT_EQ(client.relay->takeRequestId(), 1);

    runTask(client.relay->connect());
    EXPECT_TRUE(client.relay->isConnected());
    EXPECT_EQ(client.changes, std::vector<bool>{true});
    const auto connected = fixture.waitFor([](const json& e) { return e["event"] == "connected"; });
    ASSERT_TRUE(connected);
    EXPECT_EQ((*connected)["aud"], fixture.url());
    EXPECT_EQ((*connected)["projectId"], kProjectId);
    EXPECT_EQ((*connected)["path"], "/");
    EXPECT_EQ((*connected)["exp"].get<std::int64_t>() - (*connected)["iat"].get<std::int64_t>(),
              86400);
    EXPECT_TRUE((*connected)["iss"].get<std::string>().starts_with("did:key:z6Mk"));
    // A second connect() changes nothing.
    runTask(client.relay->connect());
    EXPECT_EQ(fixture.count([](const json& e) { return e["event"] == "connected"; }), 1u);

    // A message already in the topic's mailbox follows the subscription's answer at once.
    fixture.control({{"op", "publish"}, {"topic", "topic-a"}, {"message", "bWFpbGJveA=="}});
    const std::string subscription = client.subscribe("topic-a");
    EXPECT_EQ(client.relay->subscriptionId("topic-a"), subscription);
    EXPECT_EQ(fixture.requests("irn_subscribe").at(0), (json{{"id", 2},
                                                             {"jsonrpc", "2.0"},
                                                             {"method", "irn_subscribe"},
                                                             {"params", {{"topic", "topic-a"}}}}));
    ASSERT_TRUE(client.waitForMessages(1));
    EXPECT_EQ(client.received[0].topic, "topic-a");
    EXPECT_EQ(client.received[0].message, "bWFpbGJveA==");

    // A live delivery reaches the handler and is acknowledged.
    fixture.control({{"op", "publish"}, {"topic", "topic-a"}, {"message", "bGl2ZQ=="}});
    ASSERT_TRUE(client.waitForMessages(2));
    EXPECT_EQ(client.received[1].message, "bGl2ZQ==");
    EXPECT_TRUE(waitUntil(
        [&] { return fixture.count([](const json& e) { return e["event"] == "ack"; }) == 2; }));

    runTask(client.relay->publish("topic-b", "cHVibGlzaGVk", 300, 1109));
    EXPECT_EQ(
        fixture.requests("irn_publish").at(0),
        (json{{"id", 3},
              {"jsonrpc", "2.0"},
              {"method", "irn_publish"},
              {"params",
               {{"topic", "topic-b"}, {"message", "cHVibGlzaGVk"}, {"ttl", 300}, {"tag", 1109}}}}));

    // A topic never subscribed: no traffic, no error.
    const std::size_t framesBefore =
        fixture.count([](const json& e) { return e["event"] == "frame"; });
    runTask(client.relay->unsubscribe("never-subscribed"));
    runTask(client.relay->unsubscribe("topic-a"));
    EXPECT_EQ(fixture.count([](const json& e) { return e["event"] == "frame"; }), framesBefore + 1);
    EXPECT_EQ(fixture.requests("irn_unsubscribe").at(0),
              (json{{"id", 4},
                    {"jsonrpc", "2.0"},
                    {"method", "irn_unsubscribe"},
                    {"params", {{"id", subscription}, {"topic", "topic-a"}}}}));
    EXPECT_FALSE(client.relay->subscriptionId("topic-a"));
    EXPECT_EQ(client.relay->takeRequestId(), 5);
}

TEST_F(RelayTest, AnswersAndDeliveriesAreToldApart) {
    RelayFixture fixture;
    Client client(fixture.url());
    runTask(client.relay->connect());
    const std::string subscription = client.subscribe("topic"); // request 1

    // A delivery whose id equals a waiting request's is a delivery: the request still waits.
    fixture.control({{"op", "hold"}, {"method", "irn_publish"}});
    auto publishing = client.relay->publish("topic", "d2FpdGluZw==", 300, 1109); // request 2
    ASSERT_TRUE(fixture.waitFor(
        [](const json& e) { return e["event"] == "frame" && e["frame"]["id"] == 2; }));
    fixture.control(
        {{"op", "send"}, {"text", delivery(2, subscription, "topic", "Y29sbGlkaW5n").dump()}});
    ASSERT_TRUE(client.waitForMessages(1));
    EXPECT_EQ(client.received[0].message, "Y29sbGlkaW5n");
    EXPECT_TRUE(waitUntil([&] { return acksOf(fixture, 2) == 1; }));
    // Any frame naming a method is no answer, whatever else it holds.
    fixture.control({{"op", "send"}, {"text", R"({"id":2,"method":"irn_other","result":"x"})"}});
    fixture.control({{"op", "send"}, {"text", R"({"id":99,"result":"nobody asked"})"}});
    fixture.control({{"op", "send"}, {"text", "not json"}});
    fixture.control({{"op", "sendBinary"}, {"hex", "7b226964223a327d"}}); // {"id":2} as binary
    fixture.control({{"op", "release"}});
    runTask(std::move(publishing));

    // No id: handed over but not acknowledged. Unknown subscription: acknowledged, dropped.
    // An id of any JSON kind is echoed as it came. The same message twice: handed over once.
    const std::size_t framesBefore =
        fixture.count([](const json& e) { return e["event"] == "frame"; });
    fixture.control(
        {{"op", "send"}, {"text", delivery(nullptr, subscription, "topic", "bm8taWQ=").dump()}});
    fixture.control(
        {{"op", "send"}, {"text", delivery(7, "unknown", "topic", "dW5rbm93bg==").dump()}});
    fixture.control(
        {{"op", "send"}, {"text", delivery("text-id", subscription, "topic", "dGV4dA==").dump()}});
    fixture.control(
        {{"op", "send"}, {"text", delivery(8, subscription, "topic", "dGV4dA==").dump()}});
    fixture.control(
        {{"op", "send"}, {"text", delivery(9, subscription, "topic", "bGFzdA==").dump()}});
    ASSERT_TRUE(client.waitForMessages(4));
    ASSERT_TRUE(waitUntil([&] { return acksOf(fixture, 9) == 1; }));
    std::vector<std::string> messages;
    for (const auto& r : client.received) {
        messages.push_back(r.message);
    }
    EXPECT_EQ(messages,
              (std::vector<std::string>{"Y29sbGlkaW5n", "bm8taWQ=", "dGV4dA==", "bGFzdA=="}));
    EXPECT_EQ(acksOf(fixture, 7), 1u);
    EXPECT_EQ(acksOf(fixture, "text-id"), 1u);
    EXPECT_EQ(acksOf(fixture, 8), 1u);
    // Four acknowledgements and nothing else: the frame without an id got none.
    EXPECT_EQ(fixture.count([](const json& e) { return e["event"] == "frame"; }), framesBefore + 4);

    // Answers: an "error" with a message fails; one without a message, or no "result", is true.
    fixture.control({{"op", "reply"},
                     {"method", "irn_publish"},
                     {"text", R"({"id":$ID,"error":{"message":"boom"}})"}});
    EXPECT_EQ(failureOf(client.relay->publish("topic", "eA==", 300, 1)), "Relay error: boom");
    fixture.control(
        {{"op", "reply"}, {"method", "irn_publish"}, {"text", R"({"id":$ID,"error":{"code":3}})"}});
    runTask(client.relay->publish("topic", "eA==", 300, 1));
    fixture.control({{"op", "reply"}, {"method", "irn_subscribe"}, {"text", R"({"id":$ID})"}});
    EXPECT_EQ(failureOf(client.relay->subscribe("other", client.handler())),
              "Invalid relay response");
    fixture.control(
        {{"op", "reply"}, {"method", "irn_subscribe"}, {"text", R"({"id":$ID,"result":5})"}});
    EXPECT_EQ(failureOf(client.relay->subscribe("other", client.handler())),
              "Invalid relay response");
    EXPECT_FALSE(client.relay->subscriptionId("other"));
    EXPECT_TRUE(client.relay->isConnected());
}

TEST_F(RelayTest, ARequestWithoutAnswerTimesOutAndItsLateAnswerIsDropped) {
    RelayFixture fixture;
    WCRelay::Limits limits;
    limits.requestTimeout = 300ms;
    Client client(fixture.url(), limits);
    runTask(client.relay->connect());
    fixture.control({{"op", "hold"}, {"method", "irn_publish"}});
    EXPECT_EQ(failureOf(client.relay->publish("topic", "eA==", 300, 1)),
              "Relay connection failed: Request timed out");
    fixture.control({{"op", "release"}});
    ASSERT_TRUE(fixture.waitFor([](const json& e) { return e["event"] == "published"; }));
    // The next request gets its own answer, not the late one.
    fixture.control(
        {{"op", "reply"}, {"method", "irn_subscribe"}, {"text", R"({"id":$ID,"result":"sub-2"})"}});
    EXPECT_EQ(client.subscribe("topic"), "sub-2");
    EXPECT_TRUE(client.relay->isConnected());
}

TEST_F(RelayTest, ALostRelayIsReopenedWithANewTokenAndTheTopicsSubscribedAgain) {
    auto fixture = std::make_unique<RelayFixture>();
    const int port = fixture->port();
    WCRelay::Limits limits;
    limits.firstRetryDelay = 50ms;
    limits.maxRetryDelay = 200ms;
    Client client(fixture->url(), limits);
    runTask(client.relay->connect());
    const std::string firstSubscription = client.subscribe("session");
    const std::string firstIssuer =
        (*fixture->waitFor([](const json& e) { return e["event"] == "connected"; }))["iss"];

    fixture->control({{"op", "hold"}, {"method", "irn_publish"}});
    auto waiting = client.relay->publish("session", "eA==", 300, 1109);
    ASSERT_TRUE(fixture->waitFor([](const json& e) {
        return e["event"] == "frame" && e["frame"]["method"] == "irn_publish";
    }));
    fixture->kill();
    EXPECT_EQ(failureOf(std::move(waiting)), "Not connected to relay");
    ASSERT_TRUE(waitUntil([&] { return !client.changes.empty() && !client.changes.back(); }));
    EXPECT_FALSE(client.relay->isConnected());
    EXPECT_EQ(failureOf(client.relay->publish("session", "eA==", 300, 1109)),
              "Not connected to relay");

    // Down for a few attempts, then back on the same port with a message waiting.
    QTest::qWait(400);
    fixture = std::make_unique<RelayFixture>(port);
    ASSERT_TRUE(fixture->isRunning());
    fixture->control({{"op", "publish"}, {"topic", "session"}, {"message", "YWZ0ZXI="}});
    ASSERT_TRUE(waitUntil([&] { return client.relay->isConnected(); }));
    EXPECT_EQ(client.changes, (std::vector<bool>{true, false, true}));
    const auto again = fixture->waitFor([](const json& e) { return e["event"] == "connected"; });
    EXPECT_NE((*again)["iss"], firstIssuer);
    ASSERT_EQ(fixture->requests("irn_subscribe").size(), 1u);
    EXPECT_EQ(fixture->requests("irn_subscribe")[0]["params"]["topic"], "session");
    ASSERT_TRUE(client.waitForMessages(1));
    EXPECT_EQ(client.received[0].message, "YWZ0ZXI=");
    // The new connection's subscription replaces the old one.
    EXPECT_NE(client.relay->subscriptionId("session"), firstSubscription);
    runTask(client.relay->publish("session", "bmV3", 300, 1109));
}

TEST_F(RelayTest, ASilentConnectionIsNoticedByItsMissingPong) {
    RelayFixture fixture;
    WCRelay::Limits limits;
    limits.pingInterval = 300ms;
    limits.firstRetryDelay = 50ms;
    Client client(fixture.url(), limits);
    runTask(client.relay->connect());
    client.subscribe("session");
    fixture.control({{"op", "publish"}, {"topic", "session"}, {"message", "c2VlbiBiZWZvcmU="}});
    ASSERT_TRUE(client.waitForMessages(1));
    ASSERT_TRUE(waitUntil(
        [&] { return fixture.count([](const json& e) { return e["event"] == "ack"; }) == 1; }));

    // The relay stops reading (a half-open connection): no pong, no answer, no error either.
    fixture.control({{"op", "mute"}});
    fixture.control({{"op", "publish"}, {"topic", "session"}, {"message", "d2hpbGUgc2lsZW50"}});
    ASSERT_TRUE(waitUntil([&] { return client.changes.size() >= 2; }, 5s));
    EXPECT_EQ(client.changes[1], false);
    // Re-opened as a new client: the mailbox gives both messages again; the one already handed
    // over is not handed over twice.
    ASSERT_TRUE(waitUntil([&] { return client.relay->isConnected(); }));
    ASSERT_TRUE(client.waitForMessages(2));
    QTest::qWait(200);
    ASSERT_EQ(client.received.size(), 2u);
    EXPECT_EQ(client.received[1].message, "d2hpbGUgc2lsZW50");
    EXPECT_EQ(fixture.count([](const json& e) { return e["event"] == "connected"; }), 2u);
    // Pongs keep a healthy connection up across many pings.
    QTest::qWait(1'200);
    EXPECT_EQ(client.changes, (std::vector<bool>{true, false, true}));
}

TEST_F(RelayTest, ConnectionsThatCannotBeMade) {
    // Refused handshake (another project), and a relay that closes the connection later.
    RelayFixture fixture(0, "the-right-project");
    Client refused(fixture.url(), {}, "another-project");
    EXPECT_TRUE(failureOf(refused.relay->connect()).starts_with("Relay connection failed: "));
    EXPECT_TRUE(fixture.waitFor(
        [](const json& e) { return e["event"] == "refused" && e["reason"] == "project id"; }));
    EXPECT_TRUE(refused.changes.empty());
    EXPECT_EQ(failureOf(refused.relay->subscribe("t", refused.handler())),
              "Not connected to relay");

    // Plain text only on loopback; nothing but an origin.
    for (const char* origin : {"ws://example.com", "ws://10.0.0.1:80", "https://relay.example",
                               "wss://relay.example/path", "wss://user@relay.example", "wss://"}) {
        Client invalid(origin);
        EXPECT_EQ(failureOf(invalid.relay->connect()), "Relay connection failed: Invalid URL")
            << origin;
    }

    // A server that accepts and never answers the handshake: our limit ends it.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    WCRelay::Limits limits;
    limits.openTimeout = 200ms;
    Client stalled("ws://127.0.0.1:" + std::to_string(silent.serverPort()), limits);
    EXPECT_EQ(failureOf(stalled.relay->connect()), "Relay connection failed: Connection timed out");
    // The client goes away while connecting: its caller is released.
    Client gone("ws://127.0.0.1:" + std::to_string(silent.serverPort()));
    auto connecting = gone.relay->connect();
    gone.relay.reset();
    EXPECT_TRUE(failureOf(std::move(connecting)).starts_with("Relay connection failed: "));

    // A clean close by the relay is one loss, then a reconnection.
    RelayFixture closing;
    WCRelay::Limits quick;
    quick.firstRetryDelay = 50ms;
    Client client(closing.url(), quick);
    runTask(client.relay->connect());
    closing.control({{"op", "close"}});
    ASSERT_TRUE(waitUntil([&] { return client.changes.size() == 3; }));
    EXPECT_EQ(client.changes, (std::vector<bool>{true, false, true}));
}

TEST(RelayEndpoint, DefaultsEnvironmentAndConnectionURL) {
    qunsetenv(WCRelayEndpoint::kOriginVariable);
    qunsetenv(WCRelayEndpoint::kProjectIdVariable);
    const WCRelayEndpoint defaults = WCRelayEndpoint::configured();
    EXPECT_EQ(defaults.origin, "wss://relay.walletconnect.org");
    EXPECT_EQ(defaults.projectId, "YOUR_PROJECT_ID");
    EXPECT_EQ(defaults.connectionURL("a.b-c_d")->toString().toStdString(),
              "wss://relay.walletconnect.org/?projectId=YOUR_PROJECT_ID&auth=a.b-c_d");

    qputenv(WCRelayEndpoint::kOriginVariable, "ws://localhost:9010/");
    qputenv(WCRelayEndpoint::kProjectIdVariable, "deployed-id");
    const WCRelayEndpoint configured = WCRelayEndpoint::configured("ignored");
    qunsetenv(WCRelayEndpoint::kOriginVariable);
    qunsetenv(WCRelayEndpoint::kProjectIdVariable);
    EXPECT_EQ(configured.audience(), "ws://localhost:9010");
    EXPECT_EQ(configured.connectionURL("t")->toString().toStdString(),
              "ws://localhost:9010/?projectId=deployed-id&auth=t");
    EXPECT_TRUE((WCRelayEndpoint{"ws://[::1]:1", "p"}.connectionURL("t")));
    EXPECT_TRUE((WCRelayEndpoint{"ws://127.0.0.2", "p"}.connectionURL("t")));
    EXPECT_FALSE((WCRelayEndpoint{"http://127.0.0.1", "p"}.connectionURL("t")));
    // Text that a query cannot carry as it is.
    EXPECT_FALSE((WCRelayEndpoint{"wss://relay.example", "a&b"}.connectionURL("t")));
    EXPECT_FALSE((WCRelayEndpoint{"wss://relay.example", ""}.connectionURL("t")));
    EXPECT_FALSE((WCRelayEndpoint{"wss://relay.example", "p"}.connectionURL("a=b")));
}

} // namespace
} // namespace qm
