// The session manager against the loopback relay of tests/peers, with a dApp made by hand from
// envelopes: what the real dApp client would never send (duplicates, late messages, proposals
// the wallet cannot meet) and what it sends. The real client is in tests/peers.
#include "HandMadeDapp.h"
#include "RelayFixture.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "platform/Crypto.h"
#include "services/walletconnect/WCEnvelope.h"
#include "services/walletconnect/WCError.h"
#include "services/walletconnect/WCSessionManager.h"

#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace qm {
namespace {

using nlohmann::json;
using test::failureOf;
using test::HandMadeDapp;
using test::RelayFixture;
using test::runTask;
using test::waitUntil;
using namespace std::chrono_literals;

const WCDate kStart{1'700'000'000s};

Bytes randomBytes(std::size_t size) {
    Bytes out(size);
    crypto::randomFill(out.data(), out.size());
    return out;
}

class SessionManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RelayFixture::isAvailable()) {
            GTEST_SKIP() << "node and tests/peers are not installed (scripts/install-deps)";
        }
        fixture = std::make_unique<RelayFixture>();
        file = std::filesystem::path(folder.path().toStdString()) / "Quillmark" /
               "wc_sessions_v2.json";
    }

    std::unique_ptr<WCSessionManager> makeManager() {
        WCSessionManager::Options options;
        options.endpoint = WCRelayEndpoint{fixture->url(), "quillmark-tests"};
        options.sessionsFile = file;
        options.now = [this] { return clock; };
        auto manager = std::make_unique<WCSessionManager>(options);
        QObject::connect(manager.get(), &WCSessionManager::sessionProposal,
                         [this](const WCSessionProposal& p) { proposals.push_back(p); });
        QObject::connect(manager.get(), &WCSessionManager::proposalRefused,
                         [this](const WCSessionProposal& p, const WCProtocolError& e) {
                             refused.emplace_back(p.id, e);
                         });
        QObject::connect(manager.get(), &WCSessionManager::sessionRequest,
                         [this](const WCSessionRequest& r) { requests.push_back(r); });
        QObject::connect(manager.get(), &WCSessionManager::sessionDeleted,
                         [this](const std::string& topic) { deleted.push_back(topic); });
        return manager;
    }

    // A manager paired with `dapp` and a session approved for it.
    std::unique_ptr<WCSessionManager> approvedSession(HandMadeDapp& dapp) {
        auto manager = makeManager();
        runTask(manager->connect());
        runTask(manager->pair(dapp.pairingTopic, dapp.pairingKey));
        dapp.propose(100);
        EXPECT_TRUE(waitUntil([&] { return !proposals.empty(); }));
        runTask(manager->approveSession(100, {Chain::ethereum, Chain::arbitrum, Chain::polygon},
                                        "0xAbC"));
        dapp.readAnswer();
        return manager;
    }

    QTemporaryDir folder;
    std::filesystem::path file;
    std::unique_ptr<RelayFixture> fixture;
    WCDate clock = kStart;
    std::vector<WCSessionProposal> proposals;
    std::vector<std::pair<std::int64_t, WCProtocolError>> refused;
    std::vector<WCSessionRequest> requests;
    std::vector<std::string> deleted;
};

TEST_F(SessionManagerTest, ApprovalSettlesThenAnswersAsType0AndStoresTheSessionPrivately) {
    HandMadeDapp dapp(*fixture);
    auto manager = approvedSession(dapp);
    ASSERT_EQ(proposals.size(), 1u);
    EXPECT_EQ(proposals[0].metadata.name, "Hand dApp");

    // The settlement, under the key only the two sides can agree on.
    ASSERT_TRUE(dapp.waitForPublished(dapp.sessionTopic, kWCTagSettlement, dapp.sessionKey, 1));
    const json settlement =
        dapp.published(dapp.sessionTopic, kWCTagSettlement, dapp.sessionKey).at(0);
    EXPECT_EQ(settlement["params"]["namespaces"],
              walletNamespaces({Chain::ethereum, Chain::arbitrum, Chain::polygon}, "0xAbC"));
    EXPECT_EQ(settlement["params"]["expiry"], 1'700'000'000 + 604'800);
    // The answer to the proposal is a type 0 envelope: the dApp client drops a type 1 one.
    std::vector<int> types;
    const auto answers =
        dapp.published(dapp.pairingTopic, kWCTagProposalAnswer, dapp.pairingKey, &types);
    EXPECT_EQ(types, std::vector<int>{0});
    EXPECT_EQ(answers.at(0)["id"], 100);
    // Settled first, answered next; every message for 300 s.
    std::vector<std::int64_t> tags;
    for (const json& event : fixture->events()) {
        if (event["event"] == "published" && event["from"] != "fixture") {
            tags.push_back(event["tag"]);
            EXPECT_EQ(event["ttl"], 300);
        }
    }
    EXPECT_EQ(tags, (std::vector<std::int64_t>{kWCTagSettlement, kWCTagProposalAnswer}));

    const auto sessions = manager->sortedSessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].topic, dapp.sessionTopic);
    EXPECT_EQ(sessions[0].symmetricKey, dapp.sessionKey);
    EXPECT_EQ(sessions[0].peerName, "Hand dApp");
    EXPECT_EQ(sessions[0].peerIcon, "https://127.0.0.1:9/icon.png");
    EXPECT_EQ(
        sessions[0].approvedAccounts,
        (std::vector<std::string>{"eip155:1:0xAbC", "eip155:42161:0xAbC", "eip155:137:0xAbC"}));
    EXPECT_EQ(sessions[0].expiryDate, WCDate(1'700'604'800s));
    // The keys live in a file of their own: 0600 in a 0700 folder.
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // The proposal is answered: approving it again fails.
    EXPECT_EQ(failureOf(manager->approveSession(100, {Chain::ethereum}, "0xAbC")),
              "Invalid session proposal");

    // A new process finds the session, subscribes it and hears its requests.
    manager.reset();
    auto restarted = makeManager();
    EXPECT_EQ(restarted->sortedSessions(), sessions);
    runTask(restarted->connect());
    dapp.request(5, "personal_sign", {"0x68"});
    ASSERT_TRUE(waitUntil([&] { return requests.size() == 1; }));
    EXPECT_EQ(requests[0].sessionTopic, dapp.sessionTopic);
    runTask(restarted->respond(dapp.sessionTopic, 5, "0xsig"));
    ASSERT_TRUE(dapp.waitForPublished(dapp.sessionTopic, kWCTagRequestAnswer, dapp.sessionKey, 1));
    EXPECT_EQ(dapp.published(dapp.sessionTopic, kWCTagRequestAnswer, dapp.sessionKey)[0],
              json::parse(R"({"id": 5, "jsonrpc": "2.0", "result": "0xsig"})"));
}

TEST_F(SessionManagerTest, EachRequestIsReadAndAnsweredOnce) {
    HandMadeDapp dapp(*fixture);
    auto manager = approvedSession(dapp);
    // The same id in two envelopes (a redelivery sealed anew): one request.
    dapp.request(7, "personal_sign", {"0x01"});
    dapp.request(7, "personal_sign", {"0x01"});
    dapp.request(8, "eth_sendTransaction", json::array({json::object()}));
    ASSERT_TRUE(waitUntil([&] { return requests.size() == 2; }));
    QTest::qWait(200);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].id, 7);
    EXPECT_EQ(requests[1].id, 8);

    // Answered once, however often asked; a retry after a failed answer goes out.
    EXPECT_FALSE(manager->isAnswered(dapp.sessionTopic, 7));
    runTask(manager->respond(dapp.sessionTopic, 7, "0xa"));
    runTask(manager->respond(dapp.sessionTopic, 7, "0xb"));
    runTask(manager->respondError(dapp.sessionTopic, 7, WCProtocolError::userRejected()));
    EXPECT_TRUE(manager->isAnswered(dapp.sessionTopic, 7));
    fixture->control({{"op", "reply"},
                      {"method", "irn_publish"},
                      {"text", R"({"id":$ID,"jsonrpc":"2.0","error":{"message":"full"}})"}});
    EXPECT_EQ(failureOf(manager->respond(dapp.sessionTopic, 8, "0xhash")), "Relay error: full");
    EXPECT_FALSE(manager->isAnswered(dapp.sessionTopic, 8));
    fixture->control({{"op", "reply"}, {"method", "irn_publish"}, {"text", nullptr}});
    runTask(manager->respond(dapp.sessionTopic, 8, "0xhash"));
    ASSERT_TRUE(dapp.waitForPublished(dapp.sessionTopic, kWCTagRequestAnswer, dapp.sessionKey, 2));
    const auto answers = dapp.published(dapp.sessionTopic, kWCTagRequestAnswer, dapp.sessionKey);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0]["result"], "0xa");
    EXPECT_EQ(answers[1]["result"], "0xhash");

    // Unknown topics: no session.
    EXPECT_EQ(failureOf(manager->respond("nope", 1, true)), "Session not found");
    // A ping is answered with true; other session methods and junk are dropped.
    dapp.send(dapp.sessionTopic, {{"id", 9}, {"method", "wc_sessionPing"}, {"params", {}}},
              dapp.sessionKey);
    dapp.send(dapp.sessionTopic, {{"id", 10}, {"method", "wc_sessionExtend"}}, dapp.sessionKey);
    dapp.send(dapp.sessionTopic, {{"id", 11}, {"method", "wc_sessionRequest"}}, dapp.sessionKey);
    dapp.send(dapp.sessionTopic, {{"id", 12}, {"method", "wc_sessionRequest"}}, dapp.sessionKey,
              true);
    ASSERT_TRUE(dapp.waitForPublished(dapp.sessionTopic, kWCTagRequestAnswer, dapp.sessionKey, 3));
    EXPECT_EQ(dapp.published(dapp.sessionTopic, kWCTagRequestAnswer, dapp.sessionKey)[2],
              json::parse(R"({"id": 9, "jsonrpc": "2.0", "result": true})"));
    QTest::qWait(200);
    EXPECT_EQ(requests.size(), 2u);
}

TEST_F(SessionManagerTest, LateAndUnmeetableProposalsAndLateRequestsAreRefused) {
    HandMadeDapp dapp(*fixture);
    auto manager = approvedSession(dapp);
    const std::int64_t now = 1'700'000'000;
    // Required namespaces the wallet cannot meet: refused with the protocol's code.
    dapp.propose(201, {{"requiredNamespaces", {{"eip155", {{"chains", {"eip155:10"}}}}}}});
    dapp.propose(202, {{"requiredNamespaces", {{"eip155", {{"methods", {"eth_sign"}}}}}}});
    dapp.propose(203, {{"expiryTimestamp", now - 1}});
    // Malformed: dropped without an answer.
    dapp.send(dapp.pairingTopic, {{"id", "x"}, {"method", "wc_sessionPropose"}}, dapp.pairingKey);
    dapp.propose(204, {{"expiryTimestamp", now + 300}}, false); // type 0 is fine too
    ASSERT_TRUE(waitUntil([&] { return refused.size() == 3 && proposals.size() == 2; }));
    EXPECT_EQ(refused[0], std::make_pair(std::int64_t{201}, WCProtocolError::unsupportedChains()));
    EXPECT_EQ(refused[1], std::make_pair(std::int64_t{202}, WCProtocolError::unsupportedMethods()));
    EXPECT_EQ(refused[2], std::make_pair(std::int64_t{203}, WCProtocolError::expired()));
    EXPECT_EQ(proposals[1].id, 204);
    ASSERT_TRUE(dapp.waitForPublished(dapp.pairingTopic, kWCTagProposalAnswer, dapp.pairingKey, 4));
    const auto answers = dapp.published(dapp.pairingTopic, kWCTagProposalAnswer, dapp.pairingKey);
    EXPECT_EQ(answers[1]["error"]["code"], 5100);
    EXPECT_EQ(answers[2]["error"]["code"], 5101);
    EXPECT_EQ(answers[3]["error"]["code"], 8000);
    // The proposal waits; once its expiry has passed it cannot be approved.
    clock = WCDate(std::chrono::seconds(now + 301));
    EXPECT_EQ(failureOf(manager->approveSession(204, {Chain::ethereum}, "0xAbC")),
              "Invalid session proposal");
    // Rejecting answers 5000 and forgets the proposal.
    clock = kStart;
    dapp.propose(205);
    ASSERT_TRUE(waitUntil([&] { return proposals.size() == 3; }));
    runTask(manager->rejectSession(205));
    ASSERT_TRUE(dapp.waitForPublished(dapp.pairingTopic, kWCTagProposalAnswer, dapp.pairingKey, 5));
    EXPECT_EQ(dapp.published(dapp.pairingTopic, kWCTagProposalAnswer, dapp.pairingKey)[4],
              errorMessage(205, WCProtocolError::userRejected()));
    EXPECT_FALSE(manager->pendingProposal(205));

    // A request that comes past its expiry is answered with the expiry error.
    dapp.request(30, "personal_sign", {"0x01"}, "eip155:1", now - 1);
    dapp.request(31, "personal_sign", {"0x01"}, "eip155:1", now + 10);
    ASSERT_TRUE(waitUntil([&] { return requests.size() == 1; }));
    EXPECT_EQ(requests[0].id, 31);
    ASSERT_TRUE(dapp.waitForPublished(dapp.sessionTopic, kWCTagRequestAnswer, dapp.sessionKey, 1));
    EXPECT_EQ(dapp.published(dapp.sessionTopic, kWCTagRequestAnswer, dapp.sessionKey)[0],
              errorMessage(30, WCProtocolError::expired()));
}

TEST_F(SessionManagerTest, SessionsEndByEitherSideOrByExpiry) {
    HandMadeDapp dapp(*fixture);
    auto manager = approvedSession(dapp);
    // The dApp deletes: gone, nothing sent back, unsubscribed.
    dapp.send(dapp.sessionTopic,
              {{"id", 1}, {"method", "wc_sessionDelete"}, {"params", {{"code", 6000}}}},
              dapp.sessionKey);
    ASSERT_TRUE(waitUntil([&] { return deleted.size() == 1; }));
    EXPECT_EQ(deleted[0], dapp.sessionTopic);
    EXPECT_TRUE(manager->sortedSessions().empty());
    EXPECT_TRUE(waitUntil([&] { return fixture->requests("irn_unsubscribe").size() == 1; }));
    EXPECT_TRUE(WCSessionStore(file).load().empty());

    // The wallet disconnects: the deletion goes out, then the topic is left.
    HandMadeDapp second(*fixture);
    runTask(manager->pair(second.pairingTopic, second.pairingKey));
    second.propose(300);
    ASSERT_TRUE(waitUntil([&] { return proposals.size() == 2; }));
    runTask(manager->approveSession(300, {Chain::polygon}, "0xAbC"));
    second.readAnswer();
    runTask(manager->disconnect(second.sessionTopic));
    const auto deletion = second.published(second.sessionTopic, kWCTagDeletion, second.sessionKey);
    ASSERT_EQ(deletion.size(), 1u);
    EXPECT_EQ(deletion[0]["method"], "wc_sessionDelete");
    EXPECT_EQ(deletion[0]["params"]["code"], 6000);
    EXPECT_EQ(deleted.back(), second.sessionTopic);
    EXPECT_EQ(fixture->requests("irn_unsubscribe").size(), 2u);
    runTask(manager->disconnect("unknown")); // nothing, no error

    // Past its expiry a session is gone: not listed, not answered, dropped from the file.
    HandMadeDapp third(*fixture);
    runTask(manager->pair(third.pairingTopic, third.pairingKey));
    third.propose(400);
    ASSERT_TRUE(waitUntil([&] { return proposals.size() == 3; }));
    runTask(manager->approveSession(400, {Chain::ethereum}, "0xAbC"));
    third.readAnswer();
    clock = kStart + std::chrono::seconds(kWCSessionSeconds) + 1s;
    EXPECT_TRUE(manager->sortedSessions().empty());
    EXPECT_EQ(failureOf(manager->respond(third.sessionTopic, 1, true)), "Session not found");
    third.request(41, "personal_sign", {"0x01"});
    ASSERT_TRUE(waitUntil([&] { return deleted.size() == 3; }));
    EXPECT_EQ(deleted.back(), third.sessionTopic);
    EXPECT_TRUE(WCSessionStore(file).load().empty());
    EXPECT_TRUE(requests.empty());
}

TEST_F(SessionManagerTest, StoredSessionsAreReadOneByOneAndListedByName) {
    auto stored = [&](const std::string& name, WCDate expiry) {
        WCSession session;
        session.topic = bytesToPlainHex(randomBytes(32));
        session.symmetricKey = randomBytes(32);
        session.peerName = name;
        session.expiryDate = expiry;
        return session;
    };
    const std::vector<WCSession> sessions = {
        stored("Zeta", kStart + 10s), stored("alpha", kStart + 10s), stored("Beta", kStart + 10s),
        stored("Old", kStart - 1s), stored("Beta", kStart + 20s)};
    WCSessionStore store(file);
    store.save(sessions);
    // One entry that no longer decodes.
    json onDisk = json::parse(std::ifstream(file));
    onDisk.push_back({{"topic", 5}});
    std::ofstream(file) << onDisk.dump();

    auto manager = makeManager();
    std::vector<std::string> names;
    for (const WCSession& session : manager->sortedSessions()) {
        names.push_back(session.peerName);
    }
    // Byte order of the names, stable for equal ones; the expired one is gone.
    EXPECT_EQ(names, (std::vector<std::string>{"Beta", "Beta", "Zeta", "alpha"}));
    // Saving (a disconnect) keeps the entry it could not read.
    runTask(manager->disconnect(manager->sortedSessions()[0].topic));
    const json saved = json::parse(std::ifstream(file));
    EXPECT_EQ(saved.size(), 4u);
    EXPECT_EQ(saved.back(), json({{"topic", 5}}));

    // A file that is no list at all is set aside, not overwritten.
    std::ofstream(file) << "{not json";
    auto fresh = makeManager();
    EXPECT_TRUE(fresh->sortedSessions().empty());
    std::filesystem::path aside = file;
    aside += ".unreadable";
    EXPECT_TRUE(std::filesystem::exists(aside));
}

TEST_F(SessionManagerTest, PairingFailsClearlyAndConnectsWhenTheRelayComesBack) {
    HandMadeDapp dapp(*fixture);
    const int port = fixture->port();
    fixture->kill();
    WCSessionManager::Options options;
    options.endpoint = WCRelayEndpoint{"ws://127.0.0.1:" + std::to_string(port), "quillmark"};
    options.sessionsFile = file;
    options.firstConnectRetry = 100ms;
    WCSessionManager manager(options);
    EXPECT_TRUE(failureOf(manager.connect()).starts_with("Relay connection failed: "));
    EXPECT_EQ(failureOf(manager.pair("t", Bytes(31, 1))), "Invalid WalletConnect URI");
    // The relay comes back: the manager connects by itself.
    RelayFixture again(port);
    ASSERT_TRUE(again.isRunning());
    EXPECT_TRUE(waitUntil([&] { return manager.isConnected(); }));
    runTask(manager.pair(dapp.pairingTopic, dapp.pairingKey));
    EXPECT_EQ(again.requests("irn_subscribe").size(), 1u);
}

} // namespace
} // namespace qm
