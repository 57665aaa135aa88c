// The one rule by which every flow hands a signed transaction to a server: the server's answer
// must name the transaction's own id (or say it holds it already); a refusal sends the user
// back to the review only when the chain still does not know the transaction after a few more
// looks; a lost answer never does: the id shows, the same bytes go again now and then, and the
// chain's word (or its silence) ends the run. A transaction sent in a run that ended Failed
// stays with its flow until the chain knows it (the next press follows it) or says it can no
// longer land.
#include "state/flows/SignedBroadcast.h"
#include "state/flows/TransactionFlow.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {
namespace {

using namespace std::chrono_literals;
using Step = TransactionFlow::Step;

constexpr const char* ourID = "0xAbC123";

class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A server and a chain that answer as scripted.
struct Peer {
    // The answers to each send in turn (the last repeats): "refuse" throws a Refusal, "lose"
    // loses the answer, any other text is the answer.
    std::vector<std::string> answers;
    // The chain's answers to each lookup in turn (the last repeats); none: it cannot say.
    std::vector<std::optional<bool>> chain{false};
    // Whether the chain says it can no longer land; unset: no way to say.
    std::optional<bool> lapsed{};
    int sends = 0;
    int lookups = 0;
    int lapsedAsked = 0;
};

template <typename T> const T& nth(const std::vector<T>& list, int n) {
    return list[std::min<std::size_t>(static_cast<std::size_t>(n), list.size() - 1)];
}

QCoro::Task<std::string> send(std::shared_ptr<Peer> peer) {
    const std::string& answer = nth(peer->answers, peer->sends++);
    if (answer == "refuse") {
        throw Refusal("JSON-RPC error -32000: nonce too low");
    }
    if (answer.starts_with("refuse:")) {
        throw Refusal(answer.substr(7));
    }
    if (answer == "lose") {
        throw std::runtime_error("connection closed");
    }
    co_return answer;
}

QCoro::Task<bool> lookup(std::shared_ptr<Peer> peer) {
    const std::optional<bool> known = nth(peer->chain, peer->lookups++);
    if (!known) {
        throw std::runtime_error("HTTP error 502");
    }
    co_return *known;
}

QCoro::Task<bool> lapsedOn(std::shared_ptr<Peer> peer) {
    ++peer->lapsedAsked;
    co_return *peer->lapsed;
}

QCoro::Task<void> body(FlowRun run, std::shared_ptr<Peer> peer, bool isRunsOwn) {
    SignedBroadcast tx;
    tx.id = ourID;
    tx.send = [peer](CancellationToken) { return send(peer); };
    tx.lookup = [peer](CancellationToken) { return lookup(peer); };
    tx.refused = [](const std::exception& e) {
        return dynamic_cast<const Refusal*>(&e) != nullptr;
    };
    if (peer->lapsed) {
        tx.lapsed = [peer](CancellationToken) { return lapsedOn(peer); };
    }
    tx.caseInsensitive = true;
    tx.isRunsOwn = isRunsOwn;
    QCoro::Task<bool> sending = broadcastSigned(run, std::move(tx));
    if (co_await std::move(sending)) {
        run.confirmed(); // what the flow would follow on the chain
    }
}

struct Outcome {
    Step step;
    QString error;
    QString hash;
    bool broadcast;
};

FlowLimits quick() {
    FlowLimits limits;
    limits.pollInterval = 5ms;
    limits.confirmationTimeout = 400ms;
    limits.pace = 0;
    return limits;
}

Outcome broadcastWith(const std::shared_ptr<Peer>& peer, bool isRunsOwn = true) {
    TransactionFlow flow(quick());
    QSignalSpy finished(&flow, &TransactionFlow::finished);
    EXPECT_TRUE(flow.start(Step::Broadcasting, [peer, isRunsOwn](FlowRun run) {
        return body(std::move(run), peer, isRunsOwn);
    }));
    // A run that never waits ends inside start.
    EXPECT_TRUE(finished.count() > 0 || finished.wait(5000));
    return {flow.step(), flow.errorMessage(), flow.txHash(), flow.hasBroadcast()};
}

TEST(SignedBroadcast, TheAnswerMustNameOurTransaction) {
    // Our id, in any case of its hex: it left.
    auto peer = std::make_shared<Peer>(Peer{{"0xabc123"}});
    Outcome outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Confirmed);
    EXPECT_EQ(outcome.hash, ourID);
    EXPECT_EQ(peer->sends, 1);

    // Anything else is a refusal: the chain does not know it, back to the review with its text.
    for (const auto& [answer, text] : std::vector<std::pair<std::string, QString>>{
             {"f00d", "The server refused the transaction: f00d"},
             {"", "The server refused the transaction."},
             {"0xdef456", "The server refused the transaction: 0xdef456"},
             {std::string(500, 'x'),
              "The server refused the transaction: " + QString(160, 'x') + QStringLiteral("…")}}) {
        peer = std::make_shared<Peer>(Peer{{answer}});
        outcome = broadcastWith(peer);
        EXPECT_EQ(outcome.step, Step::Failed) << answer;
        EXPECT_EQ(outcome.error, text);
        EXPECT_TRUE(outcome.hash.isEmpty());
        EXPECT_EQ(peer->lookups, 1 + quick().refusedLooks);
        EXPECT_EQ(peer->sends, 1);
    }
    // A refusal by error object: its own text.
    peer = std::make_shared<Peer>(Peer{{"refuse"}});
    outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Failed);
    EXPECT_EQ(outcome.error, "JSON-RPC error -32000: nonce too low");

    // A refusal of a transaction the chain holds (sent before, or by another server): followed.
    peer = std::make_shared<Peer>(Peer{{"refuse"}, {true}});
    outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Confirmed);
    EXPECT_EQ(outcome.hash, ourID);
    // A refusal the chain cannot confirm is followed: once the chain holds it, it was sent...
    peer = std::make_shared<Peer>(Peer{{"f00d"}, {std::nullopt, true}});
    outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Confirmed);
    EXPECT_TRUE(outcome.broadcast);
    // ...and a chain that never says (an answer about another transaction, say) leaves the
    // refusal as it was, after the same wait as a lost answer's: its text, no id shown, the
    // same bytes sent again meanwhile.
    peer = std::make_shared<Peer>(Peer{{"refuse"}, {std::nullopt}});
    outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Failed);
    EXPECT_EQ(outcome.error, "JSON-RPC error -32000: nonce too low");
    EXPECT_TRUE(outcome.hash.isEmpty());
    EXPECT_FALSE(outcome.broadcast);
    EXPECT_GT(peer->lookups, 3);
    EXPECT_GT(peer->sends, 1);

    // An approval before the run's own transaction does not show as its broadcast.
    peer = std::make_shared<Peer>(Peer{{"0xABC123"}});
    outcome = broadcastWith(peer, false);
    EXPECT_EQ(outcome.step, Step::Confirmed);
    EXPECT_FALSE(outcome.broadcast);
}

TEST(SignedBroadcast, ALostAnswerIsFollowedOnTheChainAndNeverSignedAgain) {
    // Lost, then the chain knows it on the fifth look (one failing): followed, sent once more
    // in between, the id shown all along.
    auto peer = std::make_shared<Peer>(Peer{{"lose"}, {false, std::nullopt, false, false, true}});
    Outcome outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Confirmed);
    EXPECT_EQ(outcome.hash, ourID);
    EXPECT_EQ(peer->lookups, 5);
    EXPECT_EQ(peer->sends, 2);

    // A send again answered with our id is as good as the chain's word.
    peer = std::make_shared<Peer>(Peer{{"lose", "0xabc123"}, {false}});
    outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Confirmed);
    EXPECT_EQ(peer->sends, 2);

    // The chain never says: Submitted with the id and the note, the bytes sent again now and
    // then (every refusal or loss of those changes nothing).
    peer = std::make_shared<Peer>(Peer{{"lose", "refuse", "f00d", "lose"}, {false}});
    outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Submitted);
    EXPECT_EQ(outcome.hash, ourID);
    EXPECT_EQ(outcome.error, lostAnswerNote());
    EXPECT_EQ(outcome.error, "The server's answer was lost; the transaction may still confirm.");
    EXPECT_GT(peer->sends, 3);
    EXPECT_LT(peer->sends, peer->lookups);
}

TEST(SignedBroadcast, ARefusalSayingTheServerHoldsItAlreadyIsAnAcceptance) {
    // The texts of Bitcoin Core and Electrum servers, EVM clients and Solana nodes, in any
    // case, as an error or as the answer: followed at once, nothing looked up.
    for (const std::string text :
         {"refuse:Server error 1: the transaction was rejected by network rules.\n\n"
          "txn-already-in-mempool",
          "refuse:Server error -27: txn-already-known", "refuse:Transaction already in block chain",
          "refuse:JSONRPCClient: JSON-RPC error -32000: already known",
          "refuse:JSON-RPC error -32000: known transaction: 0xabc123", "refuse:AlreadyKnown",
          "refuse:ALREADY KNOWN",
          "refuse:SolanaRPCClient: RPC error -32002: Transaction simulation failed: This "
          "transaction has already been processed",
          "txn-already-in-mempool"}) {
        auto peer = std::make_shared<Peer>(Peer{{text}});
        const Outcome outcome = broadcastWith(peer);
        EXPECT_EQ(outcome.step, Step::Confirmed) << text;
        EXPECT_EQ(outcome.hash, ourID) << text;
        EXPECT_EQ(peer->lookups, 0) << text;
    }
    // "nonce too low" is no acceptance by itself, nor is a text that only contains one.
    for (const std::string text :
         {"refuse:JSON-RPC error -32000: nonce too low", "refuse:unknown transaction type",
          "refuse:replacement transaction underpriced"}) {
        auto peer = std::make_shared<Peer>(Peer{{text}});
        const Outcome outcome = broadcastWith(peer);
        EXPECT_EQ(outcome.step, Step::Failed) << text;
        EXPECT_EQ(outcome.error.toStdString(), text.substr(7));
    }
    // ... it is one when the chain then knows our transaction.
    auto peer = std::make_shared<Peer>(Peer{{"refuse"}, {true}});
    EXPECT_EQ(broadcastWith(peer).step, Step::Confirmed);
}

TEST(SignedBroadcast, ARefusedTransactionIsWatchedAFewLooksBeforeItFails) {
    // A lookup that lags the server which kept it: known on the third look, followed.
    auto peer = std::make_shared<Peer>(Peer{{"refuse:Node is behind"}, {false, false, true}});
    Outcome outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Confirmed);
    EXPECT_EQ(outcome.hash, ourID);
    EXPECT_EQ(peer->lookups, 3);
    EXPECT_EQ(peer->sends, 1);

    // Unknown on every look (one failing in between): the refusal stands after the last.
    peer = std::make_shared<Peer>(
        Peer{{"refuse:daemon error: timeout"}, {false, std::nullopt, false}});
    outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Failed);
    EXPECT_EQ(outcome.error, "daemon error: timeout");
    EXPECT_EQ(peer->lookups, 1 + quick().refusedLooks);

    // The chain says it can no longer land: no more looks.
    peer = std::make_shared<Peer>(Peer{{"refuse:blockhash not found"}, {false}, true});
    outcome = broadcastWith(peer);
    EXPECT_EQ(outcome.step, Step::Failed);
    EXPECT_EQ(peer->lookups, 1);
    EXPECT_EQ(peer->lapsedAsked, 1);
}

// A flow's chain of attempts over several presses: which transactions the chain knows, which it
// says can no longer land, and how the server answers each.
struct Ledger {
    std::set<std::string> known;
    std::set<std::string> lapsed;
    // The server's way with every send: "refuse", "lose", or "take" (answers the id).
    std::string server = "refuse";
    std::map<std::string, int> sends;
    // Lookups of a known id that still miss it (a lookup server behind the others).
    std::map<std::string, int> lagging;
};

QCoro::Task<std::string> sendTo(std::shared_ptr<Ledger> ledger, std::string id) {
    ++ledger->sends[id];
    if (ledger->server == "refuse") {
        throw Refusal("Node is behind");
    }
    if (ledger->server == "lose") {
        throw std::runtime_error("connection closed");
    }
    co_return id;
}

// Whether the chain knows `id` (or, with `lapsed`, says it can no longer land).
QCoro::Task<bool> chainSays(std::shared_ptr<Ledger> ledger, bool lapsed, std::string id) {
    if (!lapsed && ledger->known.contains(id) && ledger->lagging[id] > 0) {
        --ledger->lagging[id];
        co_return false;
    }
    co_return (lapsed ? ledger->lapsed : ledger->known).contains(id);
}

SignedBroadcast attempt(const std::shared_ptr<Ledger>& ledger, const std::string& id, int conflict,
                        const std::string& slot = {}) {
    SignedBroadcast tx;
    tx.id = id;
    tx.send = [ledger, id](CancellationToken) { return sendTo(ledger, id); };
    tx.lookup = [ledger, id](CancellationToken) { return chainSays(ledger, false, id); };
    tx.lapsed = [ledger, id](CancellationToken) { return chainSays(ledger, true, id); };
    tx.refused = [](const std::exception& e) {
        return dynamic_cast<const Refusal*>(&e) != nullptr;
    };
    tx.slot = slot;
    tx.isRunsOwn = slot.empty();
    tx.conflict = conflict;
    return tx;
}

// What one press learnt of the earlier attempts, and the id it sent.
struct Press {
    std::optional<std::string> known;
    std::optional<int> conflict;
    std::string sent;
};

// A press: asks for the earlier attempts of `slot`; follows one the chain knows, else sends
// `id` with the earlier conflict (or `fresh`).
QCoro::Task<void> press(FlowRun run, std::shared_ptr<Ledger> ledger, std::string id, int fresh,
                        std::string slot, std::shared_ptr<Press> seen) {
    QCoro::Task<EarlierAttempts> checking = earlierAttempts(run, slot);
    const EarlierAttempts earlier = co_await std::move(checking);
    const auto* conflict = std::any_cast<int>(&earlier.conflict);
    seen->conflict = conflict ? std::optional(*conflict) : std::nullopt;
    SignedBroadcast tx = attempt(ledger, id, conflict ? *conflict : fresh, slot);
    if (earlier.known) {
        seen->known = earlier.known->id;
        tx = *earlier.known;
    }
    seen->sent = tx.id;
    QCoro::Task<bool> sending = broadcastSigned(run, std::move(tx));
    if (co_await std::move(sending)) {
        run.submitted();
    }
}

Press pressOn(TransactionFlow& flow, const std::shared_ptr<Ledger>& ledger, const std::string& id,
              int fresh, const std::string& slot = {}) {
    auto seen = std::make_shared<Press>();
    QSignalSpy finished(&flow, &TransactionFlow::finished);
    EXPECT_TRUE(flow.start(Step::Signing, [=](FlowRun run) {
        return press(std::move(run), ledger, id, fresh, slot, seen);
    }));
    EXPECT_TRUE(finished.count() > 0 || finished.wait(5000));
    return *seen;
}

TEST(SignedBroadcast, AnAttemptThatEndedFailedConflictsWithEveryLaterSigningUntilItCannotLand) {
    TransactionFlow flow(quick());
    auto ledger = std::make_shared<Ledger>();

    // Refused, unknown to the chain: Failed, and kept.
    Press first = pressOn(flow, ledger, "A", 7);
    EXPECT_EQ(flow.step(), Step::Failed);
    EXPECT_FALSE(first.conflict);
    // The next press (another transaction) must share its conflict; refused too: both kept.
    Press second = pressOn(flow, ledger, "B", 8);
    EXPECT_EQ(flow.step(), Step::Failed);
    EXPECT_EQ(second.conflict, 7);
    EXPECT_EQ(second.sent, "B");
    // A reset (the sheet's Done or a closed sheet) keeps them.
    flow.reset();
    // The chain knows the first one now: the press follows it, sent again, signs nothing new.
    ledger->known.insert("A");
    ledger->server = "take";
    Press third = pressOn(flow, ledger, "C", 9);
    EXPECT_EQ(flow.step(), Step::Submitted);
    EXPECT_EQ(third.known, "A");
    EXPECT_EQ(flow.txHash(), "A");
    EXPECT_EQ(ledger->sends["A"], 2);
    EXPECT_EQ(ledger->sends.count("C"), 0u);
    // Told what left: a later press is a new payment.
    Press fourth = pressOn(flow, ledger, "D", 10);
    EXPECT_FALSE(fourth.known);
    EXPECT_FALSE(fourth.conflict);
    EXPECT_EQ(flow.txHash(), "D");

    // Kept until the chain says it can no longer land; then forgotten.
    ledger->server = "refuse";
    pressOn(flow, ledger, "E", 11);
    ledger->lapsed.insert("E");
    Press sixth = pressOn(flow, ledger, "F", 12);
    EXPECT_FALSE(sixth.conflict);
    EXPECT_EQ(flow.step(), Step::Failed);
    ledger->server = "take";
    Press seventh = pressOn(flow, ledger, "G", 13);
    EXPECT_EQ(seventh.conflict, 12); // F's, still unknown
    EXPECT_EQ(flow.step(), Step::Submitted);

    // A lost answer that the chain never confirms ends Submitted: done with too.
    ledger->server = "lose";
    pressOn(flow, ledger, "H", 14);
    EXPECT_EQ(flow.step(), Step::Submitted);
    EXPECT_EQ(flow.errorMessage(), lostAnswerNote());
    EXPECT_FALSE(pressOn(flow, ledger, "I", 15).conflict);

    // Slots are apart: an approval's attempt is not the run's own, and a run that ends
    // Submitted in its own slot leaves the approval's.
    TransactionFlow other(quick());
    ledger->server = "refuse";
    pressOn(other, ledger, "J", 16, approvalSlot);
    EXPECT_FALSE(pressOn(other, ledger, "K", 17).conflict);
    ledger->server = "take";
    pressOn(other, ledger, "L", 18);
    EXPECT_EQ(other.step(), Step::Submitted);
    EXPECT_EQ(pressOn(other, ledger, "M", 19, approvalSlot).conflict, 16);
}

TEST(SignedBroadcast, AnAttemptSaidToHaveLapsedIsLookedAtAgainBeforeItIsForgotten) {
    // The first attempt landed; the server counting the sender's nonces has seen it, the one
    // answering lookups not yet: "can no longer land" for a look or two. The next press must
    // follow it, not sign a payment free of it.
    TransactionFlow flow(quick());
    auto ledger = std::make_shared<Ledger>();
    pressOn(flow, ledger, "A", 7);
    EXPECT_EQ(flow.step(), Step::Failed);
    ledger->known.insert("A");
    ledger->lapsed.insert("A");
    ledger->lagging["A"] = 2;
    ledger->server = "take";
    Press second = pressOn(flow, ledger, "B", 8);
    EXPECT_EQ(second.known, "A");
    EXPECT_EQ(ledger->sends.count("B"), 0u);
    EXPECT_EQ(flow.txHash(), "A");

    // One that stays unknown through every look is forgotten: the next signing is free.
    TransactionFlow other(quick());
    ledger->server = "refuse";
    pressOn(other, ledger, "C", 9);
    ledger->lapsed.insert("C");
    ledger->server = "take";
    Press fourth = pressOn(other, ledger, "D", 10);
    EXPECT_FALSE(fourth.known);
    EXPECT_FALSE(fourth.conflict);
    EXPECT_EQ(other.txHash(), "D");
}

} // namespace
} // namespace qm
