// The Solana send against the litesvm server (a real runtime that verifies every signature),
// through a proxy that lets a test answer one method itself: SOL arrives, the signature's
// status is read, a send that cannot be made is refused when it is prepared, and every failure
// before and after the broadcast ends as it should.
#include "AppStateFixture.h"
#include "LitesvmServer.h"
#include "RPCProxy.h"
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "core/model/Amount.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/solana/SolanaRPCError.h"
#include "state/flows/FlowService.h"
#include "state/flows/SignedBroadcast.h"
#include "state/send/SolanaSend.h"

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <set>

namespace qm {
namespace {

using nlohmann::json;
using test::HttpFixtureResponse;
using Step = TransactionFlow::Step;

constexpr const char* password = "correct horse 1";
const std::string recipient = base58Encode(Bytes(32, 0x35));
constexpr std::uint64_t startLamports = 10'000'000'000;

std::optional<HttpFixtureResponse> answer(const json& result) {
    return HttpFixtureResponse::jsonRPCResult(result);
}

TransactionFlow::Body body(SolanaSendRequest made) {
    auto held = std::make_shared<SolanaSendRequest>(std::move(made));
    return [held](FlowRun run) { return runSolanaSend(std::move(run), std::move(*held)); };
}

class SolanaSendOnLitesvm : public ::testing::Test {
protected:
    void SetUp() override {
        test::AppStateFixture::RPCPools pools;
        pools[3] = proxy.url();
        // Short time-outs: a reply that never comes ends the request within seconds.
        NetworkManager::Options network;
        network.rpcTimeouts = HttpTimeouts{std::chrono::seconds(3), std::chrono::seconds(5)};
        env = std::make_unique<test::AppStateFixture>(pools, network);
        env->state().loadStoredState();
        test::runTask(env->state().createWallet(test::AppStateFixture::abandonPhrase(), password));
        env->state().stopBackgroundTasks();
        sender = env->state().solanaAccounts().front().account.address;
        server = std::make_unique<test::LitesvmServer>(sender, startLamports,
                                                       std::vector<test::LitesvmServer::Holding>{});
        if (!server->isRunning()) {
            GTEST_SKIP() << "node or litesvm is missing (scripts/install-deps)";
        }
        proxy.setTarget(server->url());
        client = std::make_shared<SolanaRPCClient>(server->url());
        flows = makeFlows(std::chrono::seconds(2));
    }

    static std::unique_ptr<FlowService> makeFlows(std::chrono::milliseconds timeout) {
        FlowLimits limits;
        limits.pollInterval = std::chrono::milliseconds(20);
        limits.confirmationTimeout = timeout;
        limits.pace = 0;
        return std::make_unique<FlowService>(limits);
    }

    // A send of `lamports` prepared as the review prepares it.
    SolanaSendRequest request(std::uint64_t lamports, std::string to = recipient) const {
        SolanaSendRequest made;
        made.state = &env->state();
        made.walletID = env->state().wallet()->id;
        made.password = SecureBytes::fromText(password);
        made.prepared = prepareSolanaSend(&env->state(), SolanaSendForm{std::move(to), lamports});
        return made;
    }
    SolanaSendRequest request(const UInt256& lamports) const {
        return request(lamports.toUInt64().value());
    }
    // Why the send cannot be prepared.
    std::string refusal(std::uint64_t lamports, std::string to = recipient) const {
        try {
            request(lamports, std::move(to));
        } catch (const std::exception& error) {
            return error.what();
        }
        return "prepared";
    }

    // Runs a send to its end on the flow of `service`.
    static TransactionFlow* send(FlowService& service, SolanaSendRequest made) {
        TransactionFlow* flow = service.flow("send:solana");
        flow->reset();
        EXPECT_TRUE(flow->start(Step::Signing, body(std::move(made))));
        EXPECT_TRUE(QTest::qWaitFor([flow] { return !flow->isRunning(); }, 30'000));
        return flow;
    }
    TransactionFlow* send(SolanaSendRequest made) { return send(*flows, std::move(made)); }

    std::uint64_t balance(const std::string& owner) {
        return test::runTask(client->getBalance(owner));
    }

    test::RPCProxy proxy;
    std::unique_ptr<test::AppStateFixture> env;
    std::unique_ptr<test::LitesvmServer> server;
    std::shared_ptr<SolanaRPCClient> client;
    std::unique_ptr<FlowService> flows;
    std::string sender;
};

TEST_F(SolanaSendOnLitesvm, SolArrivesAndItsSignatureStatusIsRead) {
    const UInt256 lamports = Amount::parse("1.5", 9).value;
    TransactionFlow* flow = send(request(lamports));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(flow->progress(), 1.0);
    EXPECT_TRUE(flow->errorMessage().isEmpty());
    EXPECT_EQ(balance(recipient), 1'500'000'000u);
    // The runtime's fee of one signature.
    EXPECT_EQ(balance(sender), startLamports - 1'500'000'000u - 5'000u);
    EXPECT_EQ(flow->txHash().toStdString(), proxy.lastResult("sendTransaction"));
    EXPECT_EQ(base58Decode(flow->txHash().toStdString())->size(), 64u);
    EXPECT_GE(proxy.requestCount("getSignatureStatuses"), 1);

    // One lamport, the smallest amount there is.
    flow = send(request(1));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(balance(recipient), 1'500'000'001u);
}

TEST_F(SolanaSendOnLitesvm, FailuresBeforeTheBroadcastReturnToTheReview) {
    const auto fails = [&](SolanaSendRequest made, const QString& text) {
        TransactionFlow* flow = send(std::move(made));
        EXPECT_EQ(flow->step(), Step::Failed);
        EXPECT_EQ(flow->errorMessage(), text);
        EXPECT_TRUE(flow->txHash().isEmpty());
    };
    // Refused when prepared, before anything reaches the network.
    const int before = proxy.requestCount();
    const std::uint64_t one = 1'000'000'000;
    for (const std::string& bad : {base58Encode(Bytes(31, 7)), base58Encode(Bytes(33, 7)),
                                   std::string("0OIl") + recipient.substr(4), std::string()}) {
        EXPECT_EQ(refusal(one, bad), "Invalid recipient address") << bad;
    }
    EXPECT_EQ(refusal(0), "Invalid amount");
    // The total with the fee would pass 64 bits.
    EXPECT_EQ(refusal(std::numeric_limits<std::uint64_t>::max() - 4'999), "Invalid amount");
    EXPECT_EQ(refusal(std::numeric_limits<std::uint64_t>::max() - 5'000), "prepared");
    EXPECT_EQ(proxy.requestCount(), before);

    SolanaSendRequest wrong = request(one);
    wrong.password = SecureBytes::fromText("not the password");
    fails(std::move(wrong), "Incorrect password");
    EXPECT_EQ(proxy.requestCount("sendTransaction"), 0);

    // More than the account holds: the node's preflight refuses it.
    TransactionFlow* flow = send(request(Amount::parse("100", 9).value));
    EXPECT_EQ(flow->step(), Step::Failed);
    EXPECT_NE(flow->errorMessage().indexOf("simulation failed"), -1)
        << flow->errorMessage().toStdString();

    proxy.setOverride("getLatestBlockhash", [](const json&) {
        return std::optional(HttpFixtureResponse::withStatus(500));
    });
    env->state().networkManager().setConnectionPhase(Chain::solana, ConnectionPhase::disconnected);
    fails(request(one), "Cannot connect to Solana RPC");
    EXPECT_EQ(balance(recipient), 0u);
}

TEST_F(SolanaSendOnLitesvm, AfterTheBroadcastTheStatusDecidesAndNoFailureReturnsToTheReview) {
    // Each send moves another amount: the same bytes under the same blockhash are one
    // transaction to the cluster.
    std::uint64_t next = 1'000'000'000;
    const auto one = [&] { return next++; };
    // The cluster reports the transaction's error.
    proxy.setOverride("getSignatureStatuses", [](const json&) {
        return answer({{"context", {{"slot", 9}}},
                       {"value", json::array({{{"slot", 9},
                                               {"err", {{"InstructionError", {0, "Custom"}}}},
                                               {"confirmationStatus", "confirmed"}}})}});
    });
    TransactionFlow* flow = send(request(one()));
    EXPECT_EQ(flow->step(), Step::Reverted);
    EXPECT_EQ(flow->errorMessage(), "The transaction failed on the network");
    EXPECT_FALSE(flow->txHash().isEmpty());

    // Asking fails: submitted, with the failure as a note.
    proxy.setOverride("getSignatureStatuses", [](const json&) {
        return std::optional(HttpFixtureResponse::withStatus(500));
    });
    flow = send(request(one()));
    EXPECT_EQ(flow->step(), Step::Submitted);
    EXPECT_NE(flow->errorMessage().indexOf("HTTP error"), -1) << flow->errorMessage().toStdString();

    // Never seen, and the blockhash has expired: a failure, and the wait ends there, long
    // before its time-out.
    proxy.setOverride("getSignatureStatuses", [](const json&) {
        return answer({{"context", {{"slot", 9}}}, {"value", json::array({nullptr})}});
    });
    const std::unique_ptr<FlowService> patient = makeFlows(std::chrono::seconds(60));
    QElapsedTimer clock;
    clock.start();
    proxy.setOverride("getBlockHeight", [](const json&) { return answer(1'000'000); });
    flow = send(*patient, request(one()));
    EXPECT_EQ(flow->step(), Step::Reverted);
    EXPECT_EQ(flow->errorMessage(), "Expired before it landed");
    EXPECT_LT(clock.elapsed(), 30'000);
    // Past the height, but the cluster knows the signature (still "processed"): not expired.
    proxy.setOverride("getSignatureStatuses", [](const json&) {
        return answer({{"context", {{"slot", 9}}},
                       {"value", json::array({{{"slot", 9},
                                               {"err", nullptr},
                                               {"confirmationStatus", "processed"}}})}});
    });
    flow = send(request(one()));
    EXPECT_EQ(flow->step(), Step::Submitted);

    // Still valid and never seen: the flow's time-out ends it.
    proxy.setOverride("getBlockHeight", [](const json&) { return answer(1); });
    flow = send(request(one()));
    EXPECT_EQ(flow->step(), Step::Submitted);
    EXPECT_GT(proxy.requestCount("getBlockHeight"), 2);
}

// The node takes the transaction and its answer is lost: the connection closes, no answer
// comes before the time-out, or a gateway answers 504. The send finds the signature on the
// cluster and follows it: paid once, the signature shown.
TEST_F(SolanaSendOnLitesvm, ALostAnswerIsFollowedOnTheClusterAndPaysOnce) {
    using Behaviour = HttpFixtureResponse::Behaviour;
    const QUrl node = server->url();
    std::uint64_t paid = 0;
    std::uint64_t lamports = 500'000'000;
    std::set<std::string> signedBytes;
    for (const Behaviour lost : {Behaviour::close, Behaviour::stall, Behaviour::respond}) {
        proxy.setOverride("sendTransaction", [node, lost, &signedBytes](const json& params) {
            // The node gets it, the wallet never hears.
            signedBytes.insert(params.at(0).get<std::string>());
            SolanaRPCClient direct(node);
            try {
                test::runTask(direct.sendTransaction(params.at(0).get<std::string>()));
            } catch (const SolanaRPCError&) {
                // Sent again (Qt repeats a request whose connection closed): processed already.
            }
            HttpFixtureResponse dropped = HttpFixtureResponse::withStatus(504);
            dropped.behaviour = lost;
            return std::optional(dropped);
        });
        signedBytes.clear();
        TransactionFlow* flow = send(request(lamports));
        ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
        paid += lamports;
        ++lamports; // another transaction each time, not the same bytes under one blockhash
        EXPECT_EQ(balance(recipient), paid);
        EXPECT_EQ(base58Decode(flow->txHash().toStdString())->size(), 64u);
        EXPECT_EQ(signedBytes.size(), 1u); // signed once, whatever went again
    }
    EXPECT_EQ(balance(sender), startLamports - paid - 3 * 5'000u);
}

// The answer is lost and the transaction never reached the cluster: once the block height is
// past the blockhash's last valid one with the signature still unknown, it can never land, and
// the send ends as any expired one does instead of waiting to call it submitted.
TEST_F(SolanaSendOnLitesvm, ALostAnswerWhoseBlockhashExpiresUnseenIsAFailure) {
    std::set<std::string> signedBytes;
    proxy.setOverride("sendTransaction", [&signedBytes](const json& params) {
        signedBytes.insert(params.at(0).get<std::string>());
        return std::optional(HttpFixtureResponse::withStatus(504));
    });
    // Still valid: the wait ends submitted with the note.
    TransactionFlow* flow = send(request(400'000'000));
    EXPECT_EQ(flow->step(), Step::Submitted);
    EXPECT_EQ(flow->errorMessage().toStdString(), lostAnswerNote().toStdString());
    EXPECT_EQ(signedBytes.size(), 1u);

    signedBytes.clear();
    proxy.setOverride("getBlockHeight", [](const json&) { return answer(1'000'000); });
    std::vector<Step> steps;
    flows = makeFlows(std::chrono::seconds(10));
    flow = flows->flow("send:solana");
    QObject::connect(flow, &TransactionFlow::stepChanged, flow,
                     [&steps, flow] { steps.push_back(flow->step()); });
    flow = send(request(500'000'000));
    EXPECT_EQ(flow->step(), Step::Reverted);
    EXPECT_EQ(flow->errorMessage().toStdString(), "Expired before it landed");
    EXPECT_EQ(steps.back(), Step::Reverted);
    EXPECT_NE(std::find(steps.begin(), steps.end(), Step::WaitingConfirmation), steps.end());
    EXPECT_EQ(base58Decode(flow->txHash().toStdString())->size(), 64u);
    EXPECT_EQ(signedBytes.size(), 1u);
    EXPECT_EQ(balance(recipient), 0u);
    EXPECT_EQ(balance(sender), startLamports);
}

// The node is past the blockhash's last valid height while its status index still lags behind
// the transaction that landed: expired is never concluded from the look that sees both first;
// one more look, the transaction history searched, finds it confirmed.
TEST_F(SolanaSendOnLitesvm, ALaggingStatusIndexDoesNotBuryATransactionThatLanded) {
    int statusLooks = 0;
    proxy.setOverride("getSignatureStatuses", [&](const json& params) {
        EXPECT_EQ(params.at(1).value("searchTransactionHistory", false), true);
        return ++statusLooks == 1
                   ? answer({{"context", {{"slot", 9}}}, {"value", json::array({nullptr})}})
                   : std::nullopt;
    });
    proxy.setOverride("getBlockHeight", [](const json&) { return answer(1'000'000); });
    TransactionFlow* flow = send(request(500'000'000));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(balance(recipient), 500'000'000u);
    EXPECT_EQ(statusLooks, 2);
}

} // namespace
} // namespace qm
