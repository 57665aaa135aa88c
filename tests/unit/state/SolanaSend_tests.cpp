// The Solana send against the litesvm server (a real runtime that verifies every signature),
// through a proxy that lets a test answer one method itself: SOL arrives, the signature's
// status is read, a send that cannot be made is refused when it is prepared, every failure
// before and after the broadcast ends as it should, and a transfer that may still land (or
// that landed while a status index lags) is never paid twice nor called expired.
#include "AppStateFixture.h"
#include "LaggingBackend.h"
#include "LitesvmServer.h"
#include "NodeRequest.h"
#include "RPCProxy.h"
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "core/encoding/Base64.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "platform/AtomicFile.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/solana/SolanaRPCError.h"
#include "services/solana/SolanaTransaction.h"
#include "state/flows/AttemptLedger.h"
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
// "to " and `address` as a sheet shortens it.
QString toShown(const std::string& address) {
    return QString::fromStdString("to " + address.substr(0, 6) + "..." +
                                  address.substr(address.size() - 6));
}
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

    // Runs a send to its end on the flow of `service`, its face showing `summary` and `detail`.
    static TransactionFlow* send(FlowService& service, SolanaSendRequest made,
                                 const QString& summary = {}, const QString& detail = {}) {
        TransactionFlow* flow = service.flow("send:solana");
        flow->reset();
        flow->setSummary(summary, detail);
        EXPECT_TRUE(flow->start(Step::Signing, body(std::move(made))));
        EXPECT_TRUE(QTest::qWaitFor([flow] { return !flow->isRunning(); }, 30'000));
        return flow;
    }
    TransactionFlow* send(SolanaSendRequest made, const QString& summary = {},
                          const QString& detail = {}) {
        return send(*flows, std::move(made), summary, detail);
    }

    std::uint64_t balance(const std::string& owner) {
        return test::runTask(client->getBalance(owner));
    }
    // One transfer of `lamports` landed: the recipient holds them, and the wallet paid them and
    // the fee of one signature.
    void expectPaidOnce(std::uint64_t lamports) {
        EXPECT_EQ(balance(recipient), lamports);
        EXPECT_EQ(balance(sender), startLamports - lamports - 5'000u);
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

    // Never seen by a status answer for the slot at which the height is past the blockhash's
    // last valid one: expired, a failure, and the wait ends there, long before its time-out.
    const auto unseenAt = [](std::uint64_t slot) {
        return [slot](const json&) {
            return answer({{"context", {{"slot", slot}}}, {"value", json::array({nullptr})}});
        };
    };
    proxy.setOverride("getSignatureStatuses", unseenAt(1'000'000));
    const std::unique_ptr<FlowService> patient = makeFlows(std::chrono::seconds(60));
    QElapsedTimer clock;
    clock.start();
    proxy.setOverride("getEpochInfo", [](const json&) {
        return answer({{"absoluteSlot", 1'000'000}, {"blockHeight", 999'000}});
    });
    flow = send(*patient, request(one()));
    EXPECT_EQ(flow->step(), Step::Reverted);
    EXPECT_EQ(flow->errorMessage(), "Expired before it landed");
    EXPECT_LT(clock.elapsed(), 30'000);
    // The same, but the status answer speaks for a slot before that one: it proves nothing,
    // whatever the height.
    proxy.setOverride("getSignatureStatuses", unseenAt(999'999));
    flow = send(request(one()));
    EXPECT_EQ(flow->step(), Step::Submitted);
    // Past the height, but the cluster knows the signature (still "processed"): not expired.
    proxy.setOverride("getSignatureStatuses", [](const json&) {
        return answer({{"context", {{"slot", 1'000'000}}},
                       {"value", json::array({{{"slot", 9},
                                               {"err", nullptr},
                                               {"confirmationStatus", "processed"}}})}});
    });
    flow = send(request(one()));
    EXPECT_EQ(flow->step(), Step::Submitted);

    // Still valid and never seen: the flow's time-out ends it.
    proxy.setOverride("getSignatureStatuses", unseenAt(1'000'000));
    proxy.setOverride("getEpochInfo", [](const json&) {
        return answer({{"absoluteSlot", 1'000'000}, {"blockHeight", 1}});
    });
    flow = send(request(one()));
    EXPECT_EQ(flow->step(), Step::Submitted);
    EXPECT_GT(proxy.requestCount("getEpochInfo"), 2);
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

// The answer is lost and the transaction never reached the cluster: once a status answer for a
// slot at which the block height is past the blockhash's last valid one still lacks the
// signature, it can never land, and the send ends as any expired one does instead of waiting to
// call it submitted.
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
    // 100 blocks pass at every look at the height.
    ASSERT_TRUE(server->setAging(100));
    std::vector<Step> steps;
    flows = makeFlows(std::chrono::seconds(10));
    flow = flows->flow("send:solana");
    QObject::connect(flow, &TransactionFlow::stepChanged, flow,
                     [&steps, flow] { steps.push_back(flow->step()); });
    // The same transfer pressed again (the first may still land: another would be refused):
    // the same bytes, followed until their blockhash has provably expired.
    flow = send(request(400'000'000));
    EXPECT_EQ(flow->step(), Step::Reverted);
    EXPECT_EQ(flow->errorMessage().toStdString(), "Expired before it landed");
    EXPECT_EQ(steps.back(), Step::Reverted);
    EXPECT_NE(std::find(steps.begin(), steps.end(), Step::WaitingConfirmation), steps.end());
    EXPECT_EQ(base58Decode(flow->txHash().toStdString())->size(), 64u);
    EXPECT_EQ(signedBytes.size(), 1u);
    EXPECT_EQ(balance(recipient), 0u);
    EXPECT_EQ(balance(sender), startLamports);
}

// A status index behind the blocks: its answers speak for a slot before the one the transfer
// landed at, while the node's height moves on past the blockhash's last valid one. It proves
// nothing until it has caught up: a send whose answer was lost is followed until the transfer
// shows, paid once, never "Expired before it landed".
TEST_F(SolanaSendOnLitesvm, AStatusIndexLaggingPastTheBlockhashsLifeNeverEndsALostAnswerExpired) {
    test::LaggingBackend lagging(proxy, server->url(), test::LaggingBackend::Family::solana, {},
                                 std::chrono::seconds(3));
    ASSERT_TRUE(server->setAging(100));
    flows = makeFlows(std::chrono::seconds(30));
    TransactionFlow* flow = send(request(500'000'000));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    ASSERT_EQ(lagging.kept().size(), 1u);
    EXPECT_EQ(flow->txHash().toStdString(), lagging.kept().front());
    expectPaidOnce(500'000'000);
}

// The node keeps the transfer and refuses it, and its status index lags while the blockhash's
// life passes. The send ends Failed; pressed again (the same form), the earlier transfer may
// still have landed, so the same bytes go again, never a transfer under a fresh blockhash;
// once the index has caught up, the press follows it. One payment.
TEST_F(SolanaSendOnLitesvm, ARefusedTransferKeptByTheNodeIsPaidOnceWhenSentAgain) {
    test::LaggingBackend lagging(proxy, server->url(), test::LaggingBackend::Family::solana,
                                 "Node is behind by 42 slots", std::chrono::seconds(3));
    TransactionFlow* flow = send(request(500'000'000));
    ASSERT_EQ(flow->step(), Step::Failed);
    EXPECT_EQ(flow->errorMessage().toStdString(),
              "SolanaRPCClient: RPC error -32002: Node is behind by 42 slots");
    ASSERT_EQ(lagging.kept().size(), 1u);
    const std::string first = lagging.kept().front();
    // Blocks pass: the transfer's blockhash is past its last valid height, and the node has
    // another one.
    ASSERT_TRUE(server->advance(200));

    flow = send(request(500'000'000));
    if (flow->step() == Step::Failed) {
        // Still lagging: wait until the status shows, then press again.
        SolanaRPCClient behind(proxy.url());
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return test::runTask(behind.getSignatureStatuses({first}))
                    .value.front()
                    .has_value();
            },
            30'000));
        flow = send(request(500'000'000));
    }
    EXPECT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(flow->txHash().toStdString(), first);
    EXPECT_EQ(lagging.kept(), std::vector<std::string>{first});
    expectPaidOnce(500'000'000);
}

// The same node and index, and the program ends before the next press. At the unlock the
// transfer is back from the wallet's folder, untold, and binds the account as it did: another
// transfer is refused before anything is signed, the same one goes again as the same bytes,
// and once the index has caught up a press follows it and says so. One payment.
TEST_F(SolanaSendOnLitesvm, AKeptTransferOutlivesARestart) {
    // It lags until the test ends it, however slowly the presses run here.
    test::LaggingBackend lagging(proxy, server->url(), test::LaggingBackend::Family::solana,
                                 "Node is behind by 42 slots", std::chrono::hours(1));
    TransactionFlow* flow = send(request(500'000'000), "0.5 SOL", toShown(recipient));
    ASSERT_EQ(flow->step(), Step::Failed);
    ASSERT_EQ(lagging.kept().size(), 1u);
    const std::string first = lagging.kept().front();
    const std::optional<UnsettledAttempt> sent = env->state().attemptLedger().find(first);
    ASSERT_TRUE(sent);

    env->restart();
    env->state().loadStoredState();
    test::runTask(env->state().unlock(password));
    env->state().stopBackgroundTasks();
    flows = makeFlows(std::chrono::seconds(2));
    const std::vector<UnsettledAttempt> kept =
        env->state().attemptLedger().of(Chain::solana, sender);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.front(), *sent);
    EXPECT_FALSE(kept.front().told);

    // Connected first (its probe asks for a blockhash too): any blockhash asked for after this
    // is one a new transfer would be signed under.
    ASSERT_TRUE(
        test::runTask(env->state().networkManager().connectedSolanaClient(CancellationToken())));
    const int blockhashes = proxy.requestCount("getLatestBlockhash");
    const int sends = proxy.requestCount("sendTransaction");
    flow = send(request(600'000'000));
    EXPECT_EQ(flow->step(), Step::Failed);
    EXPECT_NE(flow->errorMessage().indexOf("may still go through until its blockhash expires"), -1)
        << flow->errorMessage().toStdString();
    EXPECT_TRUE(flow->txHash().isEmpty());
    EXPECT_EQ(proxy.requestCount("getLatestBlockhash"), blockhashes);
    EXPECT_EQ(proxy.requestCount("sendTransaction"), sends);

    // The same transfer: the same signature, so the same bytes (the ledger holds them still).
    flow = send(request(500'000'000), "0.5 SOL", toShown(recipient));
    EXPECT_EQ(flow->step(), Step::Failed);
    EXPECT_EQ(proxy.requestCount("sendTransaction"), sends + 1);
    EXPECT_EQ(lagging.kept(), std::vector<std::string>{first});
    ASSERT_EQ(env->state().attemptLedger().all().size(), 1u);
    EXPECT_EQ(env->state().attemptLedger().all().front().wire, sent->wire);

    lagging.catchUp();
    const std::string other = base58Encode(Bytes(32, 0x36));
    flow = send(request(600'000'000, other), "0.6 SOL", toShown(other));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(flow->txHash().toStdString(), first);
    EXPECT_FALSE(flow->earlierNote().isEmpty());
    // The face names the transfer that went through, not the press.
    EXPECT_EQ(flow->summary(), "0.5 SOL");
    EXPECT_EQ(flow->detail(), toShown(recipient));
    EXPECT_EQ(flow->earlierNote(), "Your earlier send of 0.5 SOL " + toShown(recipient) +
                                       " went through; nothing new was signed.");
    EXPECT_EQ(proxy.requestCount("getLatestBlockhash"), blockhashes);
    expectPaidOnce(500'000'000);
    EXPECT_EQ(balance(other), 0u);
    EXPECT_TRUE(env->state().attemptLedger().all().empty()); // confirmed: settled
}

// A kept transfer whose stored bytes were altered on disk while the program was closed (its
// amount changed, its signature left as it was): those bytes are never sent, and the press that
// finds the transfer on the cluster by its stored signature follows it. One payment.
TEST_F(SolanaSendOnLitesvm, AKeptTransferWhoseStoredBytesWereAlteredIsFollowedUnsent) {
    test::LaggingBackend lagging(proxy, server->url(), test::LaggingBackend::Family::solana,
                                 "Node is behind by 42 slots", std::chrono::hours(1));
    TransactionFlow* flow = send(request(500'000'000), "0.5 SOL", toShown(recipient));
    ASSERT_EQ(flow->step(), Step::Failed);
    ASSERT_EQ(lagging.kept().size(), 1u);

    env->restartWithTheKeptRecordEdited(
        [](json& record) {
            Bytes wire = base64Decode(record.at("wire").get<std::string>()).value();
            wire.back() ^= 0x01; // the amount's highest byte
            record["wire"] = base64Encode(wire);
        },
        password);
    flows = makeFlows(std::chrono::seconds(2));

    lagging.catchUp();
    const int sends = proxy.requestCount("sendTransaction");
    flow = send(request(500'000'000), "0.5 SOL", toShown(recipient));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(flow->txHash().toStdString(), lagging.kept().front());
    EXPECT_FALSE(flow->earlierNote().isEmpty());
    EXPECT_EQ(proxy.requestCount("sendTransaction"), sends);
    expectPaidOnce(500'000'000);
    EXPECT_TRUE(env->state().attemptLedger().all().empty());
}

// A kept transfer whose record's message was replaced on disk by another transfer's (the same
// blockhash, another amount), its bytes intact: the message is read from the bytes, so that other
// transfer is refused while the kept one may still land, and nothing is signed. One payment.
TEST_F(SolanaSendOnLitesvm, AKeptTransferIsReadFromItsBytesNotFromItsMessageField) {
    test::LaggingBackend lagging(proxy, server->url(), test::LaggingBackend::Family::solana,
                                 "Node is behind by 42 slots", std::chrono::hours(1));
    TransactionFlow* flow = send(request(500'000'000), "0.5 SOL", toShown(recipient));
    ASSERT_EQ(flow->step(), Step::Failed);
    ASSERT_EQ(lagging.kept().size(), 1u);

    env->restartWithTheKeptRecordEdited(
        [this](json& record) {
            record["message"] = bytesToPlainHex(SolanaTransaction::transferMessage(
                base58Decode(sender).value(), base58Decode(recipient).value(), 600'000'000,
                record.at("blockhash").get<std::string>()));
        },
        password);
    flows = makeFlows(std::chrono::seconds(2));

    const int sends = proxy.requestCount("sendTransaction");
    flow = send(request(600'000'000));
    EXPECT_EQ(flow->step(), Step::Failed);
    EXPECT_EQ(flow->errorMessage().toStdString(),
              "The last attempt of this send may still go through until its blockhash expires, "
              "in about a minute; nothing was signed. Send it unchanged, or try this one once it "
              "has expired.");
    EXPECT_EQ(proxy.requestCount("sendTransaction"), sends);
    lagging.catchUp();
    expectPaidOnce(500'000'000);
}

// A node refusing with "already been processed" holds the transaction: the send is followed as
// sent at once (its status index lagging meanwhile), never sent back to the review. One payment.
TEST_F(SolanaSendOnLitesvm, AlreadyProcessedIsAnAcceptance) {
    test::LaggingBackend lagging(
        proxy, server->url(), test::LaggingBackend::Family::solana,
        "Transaction simulation failed: This transaction has already been processed",
        std::chrono::seconds(2));
    flows = makeFlows(std::chrono::seconds(30));
    std::vector<Step> steps;
    TransactionFlow* flow = flows->flow("send:solana");
    QObject::connect(flow, &TransactionFlow::stepChanged, flow,
                     [&steps, flow] { steps.push_back(flow->step()); });
    flow = send(request(250'000'000));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(std::find(steps.begin(), steps.end(), Step::Failed), steps.end());
    EXPECT_EQ(flow->txHash().toStdString(), lagging.kept().front());
    EXPECT_EQ(proxy.requestCount("sendTransaction"), 1);
    expectPaidOnce(250'000'000);
}

// While an earlier transfer may still land (refused, kept by no node here, but another may have
// it), the same form sends the same bytes again under its blockhash, and another form is
// refused before anything is signed. The height past the blockhash's last valid one proves
// nothing until a status answer for such a slot lacks the transfer; then the other form is
// signed and sent.
TEST_F(SolanaSendOnLitesvm, WhileAnEarlierTransferMayLandOnlyTheSameOneGoesAgain) {
    std::vector<std::string> wires;
    proxy.setOverride("sendTransaction", [&wires](const json& params) {
        wires.push_back(params.at(0).get<std::string>());
        return std::optional(HttpFixtureResponse::json(
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32005,"message":"Node is unhealthy"}})"));
    });
    TransactionFlow* flow = send(request(500'000'000));
    ASSERT_EQ(flow->step(), Step::Failed);
    ASSERT_EQ(wires.size(), 1u);
    // A few blocks on, the node hands out another blockhash; the first one is still valid.
    ASSERT_TRUE(server->advance(10));
    flow = send(request(500'000'000));
    EXPECT_EQ(flow->step(), Step::Failed);
    ASSERT_EQ(wires.size(), 2u);
    EXPECT_EQ(wires[1], wires[0]);

    const std::string mayLand = "The last attempt of this send may still go through until its "
                                "blockhash expires, in about a minute; nothing was signed. Send "
                                "it unchanged, or try this one once it has expired.";
    const auto refusedUnsigned = [&](SolanaSendRequest made, const char* why) {
        const int blockhashes = proxy.requestCount("getLatestBlockhash");
        flow = send(std::move(made));
        EXPECT_EQ(flow->step(), Step::Failed) << why;
        EXPECT_EQ(flow->errorMessage().toStdString(), mayLand) << why;
        EXPECT_EQ(wires.size(), 2u) << why;
        EXPECT_EQ(proxy.requestCount("getLatestBlockhash"), blockhashes) << why;
        EXPECT_TRUE(flow->txHash().isEmpty()) << why;
    };
    refusedUnsigned(request(600'000'000), "another amount");
    refusedUnsigned(request(500'000'000, base58Encode(Bytes(32, 0x36))), "another recipient");
    // Past its last valid height, but the status answers speak for a slot before that.
    ASSERT_TRUE(server->advance(200));
    const QUrl node = server->url();
    proxy.setOverride("getSignatureStatuses", [node](const json& params) {
        json result = test::nodeRequest(node, "getSignatureStatuses", params).at("result");
        result["context"]["slot"] = 150;
        return answer(result);
    });
    refusedUnsigned(request(600'000'000), "a stale status answer");

    proxy.clearOverrides();
    flow = send(request(600'000'000));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    ASSERT_EQ(wires.size(), 2u);
    expectPaidOnce(600'000'000);
}

// The node answers with what is not the transfer's own signature: another transaction's, or a
// text. Where it took the transfer (its status shows it), the send follows the transfer under
// its own signature; where it did not, the answer is a refusal: back to the review, no id shown.
// The node's word is never taken for the id.
TEST_F(SolanaSendOnLitesvm, AnAnswerNamingAnotherTransactionIsNeverTakenForOurs) {
    const std::string other = base58Encode(Bytes(64, 7));
    const QUrl node = server->url();
    std::vector<std::string> ours;
    const auto answering = [&](const std::string& given, bool taken) {
        proxy.setOverride("sendTransaction", [&ours, node, given, taken](const json& params) {
            const Bytes wire = base64Decode(params.at(0).get<std::string>()).value();
            ours.push_back(base58Encode(ByteView(wire).subspan(1, 64)));
            if (taken) {
                test::nodeRequest(node, "sendTransaction", params);
            }
            return answer(given);
        });
    };
    answering(other, true);
    TransactionFlow* flow = send(request(500'000'000));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    ASSERT_EQ(ours.size(), 1u);
    EXPECT_EQ(flow->txHash().toStdString(), ours.front());
    expectPaidOnce(500'000'000);

    // Not taken: the same transfer pressed again (the first may still land elsewhere).
    for (const std::string& given : {std::string("ok"), other}) {
        answering(given, false);
        flow = send(request(300'000'000));
        EXPECT_EQ(flow->step(), Step::Failed) << given;
        EXPECT_EQ(flow->errorMessage().toStdString(),
                  "The server refused the transaction: " + given);
        EXPECT_TRUE(flow->txHash().isEmpty()) << given;
    }
    EXPECT_EQ(ours.size(), 3u);
    EXPECT_EQ(ours[2], ours[1]);
    expectPaidOnce(500'000'000);
}

} // namespace
} // namespace qm
