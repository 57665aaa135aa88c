// WalletConnect as the application state runs it, over the loopback relay with a dApp made by
// hand: pairing, proposals and requests in line, refusals at arrival, one answer per press, a
// new manager per set-up.
#include "AppStateFixture.h"
#include "HandMadeDapp.h"
#include "RelayFixture.h"
#include "RunTask.h"
#include "services/walletconnect/WCError.h"
#include "state/walletconnect/WalletConnectService.h"

#include <QTest>
#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::failureOf;
using test::HandMadeDapp;
using test::RelayFixture;
using test::runTask;
using test::waitUntil;

// The address of "abandon ... about" on every EVM chain.
const std::string kAddress = "0x9858EfFD232B4033E47d90003D41EC34EcaEda94";

class WalletConnectServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RelayFixture::isAvailable()) {
            GTEST_SKIP() << "node and tests/peers are not installed (scripts/install-deps)";
        }
        relay = std::make_unique<RelayFixture>();
        WalletConnectService::Options options;
        options.manager.endpoint = WCRelayEndpoint{relay->url(), "quillmark-tests"};
        options.manager.sessionsFile = sessionsFile();
        options.endingWait = std::chrono::milliseconds(2'000);
        env = std::make_unique<test::AppStateFixture>(options);
        env->state().loadStoredState();
        runTask(env->state().createWallet(test::AppStateFixture::abandonPhrase(), "correct horse"));
        env->state().stopBackgroundTasks();
    }

    WalletConnectService& service() { return env->walletConnectService(); }
    std::filesystem::path sessionsFile() const {
        return std::filesystem::path(folder.path().toStdString()) / "Quillmark" /
               "wc_sessions_v2.json";
    }
    // The wallet told `dapp` that its session ended.
    static bool toldOfTheEnd(const HandMadeDapp& dapp) {
        return dapp.waitForPublished(dapp.sessionTopic, kWCTagDeletion, dapp.sessionKey, 1);
    }

    // Paired with `dapp`, its proposal approved.
    void approved(HandMadeDapp& dapp, std::int64_t proposal = 1) {
        runTask(service().pair(dapp.pairingURI()));
        dapp.propose(proposal);
        ASSERT_TRUE(waitUntil([&] { return !service().proposals().empty(); }));
        runTask(service().approveProposal(proposal));
        dapp.readAnswer();
    }

    QTemporaryDir folder;
    std::unique_ptr<RelayFixture> relay;
    std::unique_ptr<test::AppStateFixture> env;
};

TEST_F(WalletConnectServiceTest, PairsAndApprovesOnceForTheWalletsAccount) {
    bool connectedSignal = false;
    QObject::connect(&service(), &WalletConnectService::relayConnectedChanged,
                     [&] { connectedSignal = service().isRelayConnected(); });
    runTask(service().setup());
    EXPECT_TRUE(service().isRelayConnected());
    EXPECT_TRUE(connectedSignal);

    HandMadeDapp dapp(*relay);
    EXPECT_EQ(failureOf(service().pair("wc:nonsense")), "Invalid WalletConnect URI");
    // A link past its expiry is refused before anything is subscribed: its dApp no longer
    // listens, and the sheet would close on a pairing that leads nowhere.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    const auto subscriptions = relay->requests("irn_subscribe").size();
    EXPECT_EQ(failureOf(service().pair(dapp.pairingURI() +
                                       "&expiryTimestamp=" + std::to_string(seconds - 1))),
              "This pairing link has expired. Ask the dApp for a new one.");
    EXPECT_EQ(relay->requests("irn_subscribe").size(), subscriptions);
    EXPECT_FALSE(service().isPairing());
    runTask(service().pair("  " + dapp.pairingURI() +
                           "&expiryTimestamp=" + std::to_string(seconds + 300) + "\n"));
    dapp.propose(1);
    dapp.propose(2);
    ASSERT_TRUE(waitUntil([&] { return service().proposals().size() == 2; }));
    EXPECT_EQ(service().proposals()[0].id, 1); // oldest first

    // A double press: one settlement, one session.
    auto first = service().approveProposal(1);
    auto second = service().approveProposal(1);
    runTask(std::move(second));
    runTask(std::move(first));
    dapp.readAnswer();
    EXPECT_EQ(relay->requests("irn_publish").size(), 2u); // the settlement and the answer
    ASSERT_EQ(service().sessions().size(), 1u);
    EXPECT_EQ(service().sessions()[0].approvedAccounts,
              (std::vector<std::string>{"eip155:1:" + kAddress, "eip155:42161:" + kAddress,
                                        "eip155:137:" + kAddress}));
    ASSERT_EQ(service().proposals().size(), 1u);
    EXPECT_EQ(service().proposals()[0].id, 2);
    EXPECT_EQ(service().dappName(dapp.sessionTopic), "Hand dApp");
    EXPECT_EQ(service().dappName("other"), "Unknown dApp");

    // Rejecting answers "User rejected" and empties the line.
    runTask(service().rejectProposal(2));
    EXPECT_TRUE(service().proposals().empty());
    ASSERT_TRUE(dapp.waitForPublished(dapp.pairingTopic, kWCTagProposalAnswer, dapp.pairingKey, 2));
    EXPECT_EQ(dapp.published(dapp.pairingTopic, kWCTagProposalAnswer, dapp.pairingKey)[1]["error"],
              json({{"code", 5000}, {"message", "User rejected"}}));

    // Without the wallet's accounts (locked) nothing is approved.
    dapp.propose(3);
    ASSERT_TRUE(waitUntil([&] { return service().proposals().size() == 1; }));
    env->state().lock();
    runTask(service().approveProposal(3));
    EXPECT_EQ(service().proposals().size(), 1u);
    EXPECT_EQ(service().sessions().size(), 1u);
}

TEST_F(WalletConnectServiceTest, RequestsWaitInLineOrAreRefusedAtOnce) {
    runTask(service().setup());
    HandMadeDapp dapp(*relay);
    approved(dapp);
    const std::string other = "0x1111111111111111111111111111111111111111";
    dapp.request(10, "personal_sign", {"0x68", kAddress});
    dapp.request(11, "personal_sign", {"0x68", kAddress}, "eip155:10");
    dapp.request(12, "personal_sign", {"0x68", other});
    dapp.request(13, "eth_sendTransaction", json::array({json{{"to", other}, {"value", "12"}}}),
                 "eip155:137");
    dapp.request(14, "eth_signTypedData_v4", {kAddress, "{}"});
    dapp.request(15, "eth_sendTransaction", json::array({json{{"to", other}, {"value", "0x1"}}}),
                 "eip155:137");
    dapp.request(16, "eth_sign", {kAddress, "0x68"});
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 3; }));
    ASSERT_TRUE(dapp.waitForAnswers(4));
    std::map<std::int64_t, int> codes;
    for (const json& answer : dapp.answers()) {
        codes[answer["id"].get<std::int64_t>()] = answer["error"]["code"].get<int>();
    }
    EXPECT_EQ(codes,
              (std::map<std::int64_t, int>{{11, 5100}, {12, 5103}, {13, -32602}, {14, -32602}}));
    // The others wait, oldest first, with what they would sign.
    EXPECT_EQ(service().requests()[0].request.id, 10);
    EXPECT_EQ(service().requests()[1].request.id, 15);
    EXPECT_EQ(service().requests()[1].chain, Chain::polygon);
    EXPECT_EQ(service().requests()[2].kind, WCPreparedRequest::Kind::unsupported);

    // Reject answers 5000 once and the next comes forward.
    runTask(service().rejectRequest(dapp.sessionTopic, 10));
    runTask(service().rejectRequest(dapp.sessionTopic, 10));
    EXPECT_EQ(service().requests()[0].request.id, 15);
    ASSERT_TRUE(dapp.waitForAnswers(5));
    QTest::qWait(100);
    const auto answers = dapp.answers();
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(answers[4], json::parse(R"({"id": 10, "jsonrpc": "2.0",
                                          "error": {"code": 5000, "message": "User rejected"}})"));

    // A request past its expiry leaves the line with the expiry error.
    const auto soon = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count() +
                      1;
    dapp.request(17, "personal_sign", {"0x68"}, "eip155:1", soon);
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 3; }));
    ASSERT_TRUE(
        waitUntil([&] { return service().requests().size() == 2; }, std::chrono::seconds(5)));
    ASSERT_TRUE(dapp.waitForAnswers(6));
    EXPECT_EQ(dapp.answers()[5]["error"]["code"], 8000);

    // The dApp ends the session: what it asked leaves the line unanswered.
    dapp.send(dapp.sessionTopic, {{"id", 99}, {"method", "wc_sessionDelete"}}, dapp.sessionKey);
    ASSERT_TRUE(waitUntil([&] { return service().sessions().empty(); }));
    EXPECT_TRUE(service().requests().empty());
}

TEST_F(WalletConnectServiceTest, EachSetupReplacesTheManagerAndClosesItsRelay) {
    runTask(service().setup());
    HandMadeDapp dapp(*relay);
    approved(dapp);
    dapp.request(20, "personal_sign", {"0x68"});
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 1; }));
    const auto closed = [&] {
        return relay->count([](const json& e) { return e["event"] == "closed"; });
    };
    EXPECT_EQ(closed(), 0u);
    runTask(service().setup());
    EXPECT_TRUE(waitUntil([&] { return closed() == 1; }));
    EXPECT_EQ(relay->count([](const json& e) { return e["event"] == "connected"; }), 2u);
    // The session and its request live on with the new manager, which answers it.
    EXPECT_EQ(service().sessions().size(), 1u);
    ASSERT_EQ(service().requests().size(), 1u);
    runTask(service().rejectRequest(dapp.sessionTopic, 20));
    ASSERT_TRUE(dapp.waitForAnswers(1));
    // The next manager's relay client is delivered the request again: it was answered, so it
    // never waits again.
    const auto acks = [&] {
        return relay->count([](const json& e) { return e["event"] == "ack"; });
    };
    const auto acksBefore = acks();
    runTask(service().setup());
    ASSERT_TRUE(waitUntil([&] { return acks() > acksBefore; }));
    EXPECT_TRUE(service().requests().empty());
    // The sidebar's disconnect.
    runTask(service().disconnect(dapp.sessionTopic));
    EXPECT_TRUE(service().sessions().empty());
    EXPECT_EQ(dapp.published(dapp.sessionTopic, kWCTagDeletion, dapp.sessionKey).size(), 1u);
}

TEST_F(WalletConnectServiceTest, TheSessionsEndWithTheWalletDeletedOrReplaced) {
    runTask(service().setup());
    const auto connections = [&] {
        return relay->count([](const json& e) { return e["event"] == "connected"; });
    };

    // "Delete Wallet": at once no session, no request and no file; the dApp is told.
    HandMadeDapp deleted(*relay);
    approved(deleted);
    deleted.request(30, "personal_sign", {"0x68"});
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 1; }));
    ASSERT_TRUE(std::filesystem::exists(sessionsFile()));
    runTask(env->state().resetWallet());
    EXPECT_TRUE(service().sessions().empty());
    EXPECT_TRUE(service().requests().empty());
    EXPECT_FALSE(std::filesystem::exists(sessionsFile()));
    EXPECT_TRUE(toldOfTheEnd(deleted));
    // The relay stays at hand, with a manager that knows no session.
    EXPECT_TRUE(waitUntil([&] { return service().isRelayConnected(); }));
    EXPECT_TRUE(service().sessions().empty());

    // A new wallet starts with none, and so does its next set-up; one made over a wallet with
    // a session ends it.
    runTask(env->state().createWallet(test::AppStateFixture::abandonPhrase(), "correct horse"));
    runTask(service().setup());
    EXPECT_TRUE(service().sessions().empty());
    HandMadeDapp replaced(*relay);
    approved(replaced, 2);
    runTask(env->state().createWallet(test::AppStateFixture::abandonPhrase(), "other horse"));
    EXPECT_TRUE(service().sessions().empty());
    EXPECT_FALSE(std::filesystem::exists(sessionsFile()));
    EXPECT_TRUE(toldOfTheEnd(replaced));
    // What the old session's dApp sends now reaches nobody.
    runTask(service().setup());
    replaced.request(31, "personal_sign", {"0x68"});
    QTest::qWait(200);
    EXPECT_TRUE(service().requests().empty());

    // Deleted at the lock screen of a later start, before any set-up: the file names the
    // session, and its dApp is told all the same.
    HandMadeDapp locked(*relay);
    approved(locked, 4);
    env->restart();
    env->state().loadStoredState();
    ASSERT_TRUE(env->state().isLocked());
    const auto before = connections();
    runTask(env->state().resetWallet());
    EXPECT_FALSE(std::filesystem::exists(sessionsFile()));
    EXPECT_TRUE(toldOfTheEnd(locked));
    EXPECT_EQ(connections(), before + 1);
}

TEST_F(WalletConnectServiceTest, AnUnreachableRelayDelaysNothingAndKeepsNoKey) {
    runTask(service().setup());
    HandMadeDapp dapp(*relay);
    approved(dapp);
    // The relay takes the deletion and never acknowledges it.
    relay->control({{"op", "hold"}, {"method", "irn_publish"}});
    runTask(env->state().resetWallet());
    EXPECT_FALSE(std::filesystem::exists(sessionsFile()));
    EXPECT_TRUE(service().sessions().empty());
    // The manager that tried goes after the wait, with its relay connection.
    const auto closed = [&] {
        return relay->count([](const json& e) { return e["event"] == "closed"; });
    };
    EXPECT_TRUE(waitUntil([&] { return closed() == 1; }, std::chrono::seconds(10)));
}

} // namespace
} // namespace qm
