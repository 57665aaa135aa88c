// The one rule by which every flow hands a signed transaction to a server: the server's answer
// must name the transaction's own id (or say it holds it already); a refusal sends the user
// back to the review only when the chain still does not know the transaction after a few more
// looks; a lost answer never does: the id shows, the same bytes go again now and then, and the
// chain's word (or its silence) ends the run. A transaction the user was told failed binds every
// later signing of its account until the chain knows it (the press that sent it follows it) or
// proves it can never land.
#include "RunTask.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/SignedBroadcast.h"
#include "state/flows/TransactionFlow.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
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
          "refuse:JSONRPCClient: JSON-RPC error -32003: transaction already imported",
          "refuse:Transaction with the same hash was already Imported.",
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
          "refuse:replacement transaction underpriced", "refuse:already importedness"}) {
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

// The chain of attempts over several presses: which transactions the chain knows, which it
// proves can no longer land, and how the server answers each.
struct Chain {
    std::set<std::string> known;
    std::set<std::string> lapsed;
    // The server's way with every send: "refuse", "lose", or "take" (answers the id).
    std::string server = "refuse";
    std::map<std::string, int> sends;
    // Lookups of a known id that still miss it (a lookup server behind the others).
    std::map<std::string, int> lagging;
    // Ids whose lookups (and whether they lapsed) fail: the chain cannot say.
    std::set<std::string> silent;
};

QCoro::Task<std::string> sendTo(std::shared_ptr<Chain> chain, std::string id) {
    ++chain->sends[id];
    if (chain->server == "refuse") {
        throw Refusal("Node is behind");
    }
    if (chain->server == "lose") {
        throw std::runtime_error("connection closed");
    }
    co_return id;
}

// Whether the chain knows `id` (or, with `lapsed`, proves it can no longer land).
QCoro::Task<bool> chainSays(std::shared_ptr<Chain> chain, bool lapsed, std::string id) {
    if (chain->silent.contains(id)) {
        throw std::runtime_error("HTTP error 502");
    }
    if (!lapsed && chain->known.contains(id) && chain->lagging[id] > 0) {
        --chain->lagging[id];
        co_return false;
    }
    co_return (lapsed ? chain->lapsed : chain->known).contains(id);
}

// What the ledger's file held when the bytes were sent.
QCoro::Task<std::string> sendReadingTheFile(std::filesystem::path file,
                                            std::shared_ptr<std::optional<std::string>> onDisk) {
    std::ifstream in(file);
    *onDisk = std::string(std::istreambuf_iterator<char>(in), {});
    co_return ourID;
}

TEST(SignedBroadcast, TheAttemptIsOnDiskBeforeItsBytesLeaveAndNothingLeavesWithoutIt) {
    QTemporaryDir folder;
    const std::filesystem::path file =
        std::filesystem::path(folder.path().toStdString()) / "Q" / "attempts.json";
    std::ofstream(file.parent_path()) << "in the way"; // the folder cannot be made
    AttemptLedger ledger(file);
    auto onDisk = std::make_shared<std::optional<std::string>>();
    const auto press = [&] {
        TransactionFlow flow(quick());
        QSignalSpy finished(&flow, &TransactionFlow::finished);
        flow.start(Step::Broadcasting, [&](FlowRun run) -> QCoro::Task<void> {
            run.useLedger(ledger);
            SignedBroadcast tx;
            tx.id = ourID;
            tx.send = [file, onDisk](CancellationToken) {
                return sendReadingTheFile(file, onDisk);
            };
            tx.record.account = "0xaaaa";
            tx.record.wire = "0x02";
            tx.record.nonce = 7;
            QCoro::Task<bool> sending = broadcastSigned(run, std::move(tx));
            if (co_await std::move(sending)) {
                run.submitted();
            }
        });
        EXPECT_TRUE(finished.count() > 0 || finished.wait(5000));
        return std::pair(flow.step(), flow.errorMessage());
    };
    const auto [failed, why] = press();
    EXPECT_EQ(failed, Step::Failed);
    EXPECT_TRUE(why.startsWith("Nothing was sent: the wallet could not record the transaction "
                               "first ("))
        << why.toStdString();
    EXPECT_FALSE(*onDisk);
    EXPECT_TRUE(ledger.all().empty());

    std::filesystem::remove(file.parent_path());
    EXPECT_EQ(press().first, Step::Submitted);
    ASSERT_TRUE(*onDisk);
    EXPECT_NE((*onDisk)->find(ourID), std::string::npos);
}

constexpr const char* account = "0xaaaa";

SignedBroadcast attempt(const std::shared_ptr<Chain>& chain, const std::string& id, int nonce,
                        const std::string& slot = {}, const std::string& from = account) {
    SignedBroadcast tx;
    tx.id = id;
    tx.send = [chain, id](CancellationToken) { return sendTo(chain, id); };
    tx.lookup = [chain, id](CancellationToken) { return chainSays(chain, false, id); };
    tx.lapsed = [chain, id](CancellationToken) { return chainSays(chain, true, id); };
    tx.refused = [](const std::exception& e) {
        return dynamic_cast<const Refusal*>(&e) != nullptr;
    };
    tx.slot = slot;
    tx.isRunsOwn = slot.empty();
    tx.record.chain = qm::Chain::ethereum;
    tx.record.account = from;
    tx.record.wire = "0x" + id;
    tx.record.nonce = static_cast<std::uint64_t>(nonce);
    return tx;
}

// What one press learnt of the earlier attempts, and the id it sent.
struct Press {
    std::optional<std::string> known;
    std::optional<int> conflict;
    std::string sent;
    std::string failure;
};

QCoro::Task<SignedBroadcast> signNew(std::shared_ptr<Chain> chain, std::string id, int fresh,
                                     std::string slot, std::string from,
                                     std::shared_ptr<Press> seen, EarlierAttempts earlier) {
    if (earlier.conflict) {
        seen->conflict = static_cast<int>(*earlier.conflict->nonce);
    }
    co_return attempt(chain, id, seen->conflict.value_or(fresh), slot, from);
}

// A press from `from`: follows an earlier attempt of its account that the chain knows, else
// sends `id` with the earlier conflict (or `fresh`).
QCoro::Task<void> press(FlowRun run, std::shared_ptr<Chain> chain, std::string id, int fresh,
                        std::string slot, std::string from, std::shared_ptr<Press> seen) {
    AttemptScope scope;
    scope.chain = qm::Chain::ethereum;
    scope.account = from;
    scope.followedIn = {slot};
    scope.revive = [chain, slot](const UnsettledAttempt& stored) {
        SignedBroadcast tx =
            attempt(chain, stored.id, static_cast<int>(*stored.nonce), slot, stored.account);
        tx.record = stored;
        return tx;
    };
    try {
        QCoro::Task<std::optional<SignedBroadcast>> signing =
            earlierOrSigned(run, scope, [=](EarlierAttempts earlier) {
                return signNew(chain, id, fresh, slot, from, seen, std::move(earlier));
            });
        std::optional<SignedBroadcast> tx = co_await std::move(signing);
        if (!tx) {
            co_return;
        }
        if (tx->id != id) {
            seen->known = tx->id;
        }
        seen->sent = tx->id;
        QCoro::Task<bool> sending = broadcastSigned(run, std::move(*tx));
        if (co_await std::move(sending)) {
            run.submitted();
        }
    } catch (const std::exception& error) {
        seen->failure = error.what();
        throw;
    }
}

Press pressOn(TransactionFlow& flow, AttemptLedger& ledger, const std::shared_ptr<Chain>& chain,
              const std::string& id, int fresh, const std::string& slot = {},
              const std::string& from = account) {
    auto seen = std::make_shared<Press>();
    QSignalSpy finished(&flow, &TransactionFlow::finished);
    EXPECT_TRUE(flow.start(Step::Signing, [=, &ledger](FlowRun run) {
        run.useLedger(ledger);
        return press(std::move(run), chain, id, fresh, slot, from, seen);
    }));
    EXPECT_TRUE(finished.count() > 0 || finished.wait(5000));
    return *seen;
}

TEST(SignedBroadcast, AnAttemptTheUserWasToldFailedConflictsWithEveryLaterSigningUntilSettled) {
    AttemptLedger ledger;
    TransactionFlow flow(quick());
    flow.setObjectName("send:ethereum");
    auto chain = std::make_shared<Chain>();

    // Refused, unknown to the chain: Failed, and kept.
    Press first = pressOn(flow, ledger, chain, "A", 7);
    EXPECT_EQ(flow.step(), Step::Failed);
    EXPECT_FALSE(first.conflict);
    ASSERT_EQ(ledger.all().size(), 1u);
    EXPECT_FALSE(ledger.all().front().told);
    // The next press (another transaction) must share its conflict; refused too: both kept.
    Press second = pressOn(flow, ledger, chain, "B", 8);
    EXPECT_EQ(flow.step(), Step::Failed);
    EXPECT_EQ(second.conflict, 7);
    EXPECT_EQ(second.sent, "B");
    // A reset (the sheet's Done or a closed sheet) keeps them.
    flow.reset();
    // The chain knows the first one now: the press follows it, sent again, signs nothing new,
    // and shows it.
    chain->known.insert("A");
    chain->server = "take";
    Press third = pressOn(flow, ledger, chain, "C", 9);
    EXPECT_EQ(flow.step(), Step::Submitted);
    EXPECT_EQ(third.known, "A");
    EXPECT_EQ(flow.txHash(), "A");
    EXPECT_EQ(chain->sends["A"], 2);
    EXPECT_EQ(chain->sends.count("C"), 0u);
    EXPECT_FALSE(flow.earlierNote().isEmpty());
    // Told what left (and B could only land instead of A): a later press is a new payment.
    Press fourth = pressOn(flow, ledger, chain, "D", 10);
    EXPECT_FALSE(fourth.known);
    EXPECT_FALSE(fourth.conflict);
    EXPECT_EQ(flow.txHash(), "D");
    EXPECT_TRUE(flow.earlierNote().isEmpty());

    // Kept until the chain proves it can no longer land; then forgotten.
    chain->server = "refuse";
    pressOn(flow, ledger, chain, "E", 11);
    chain->lapsed.insert("E");
    Press sixth = pressOn(flow, ledger, chain, "F", 12);
    EXPECT_FALSE(sixth.conflict);
    EXPECT_FALSE(ledger.find("E"));
    EXPECT_EQ(flow.step(), Step::Failed);
    chain->server = "take";
    Press seventh = pressOn(flow, ledger, chain, "G", 13);
    EXPECT_EQ(seventh.conflict, 12); // F's, still unknown
    EXPECT_EQ(flow.step(), Step::Submitted);

    // A lost answer the chain never confirms ends Submitted with its note, and still binds the
    // next press: the user never heard it left.
    chain->server = "lose";
    pressOn(flow, ledger, chain, "H", 14);
    EXPECT_EQ(flow.step(), Step::Submitted);
    EXPECT_EQ(flow.errorMessage(), lostAnswerNote());
    EXPECT_EQ(pressOn(flow, ledger, chain, "I", 15).conflict, 14);
}

TEST(SignedBroadcast, TheBindingIsTheAccountsWhicheverSheetOrSlotAsks) {
    AttemptLedger ledger;
    TransactionFlow send(quick());
    send.setObjectName("send:ethereum");
    TransactionFlow dapp(quick());
    dapp.setObjectName("walletconnect");
    auto chain = std::make_shared<Chain>();

    // A request refused; the dApp asks again under a new id: the new signing replaces it.
    pressOn(dapp, ledger, chain, "J", 16, "walletconnect:t:1");
    EXPECT_EQ(pressOn(dapp, ledger, chain, "K", 17, "walletconnect:t:2").conflict, 16);
    // So does the send sheet, and an approval; another account is free of it.
    EXPECT_EQ(pressOn(send, ledger, chain, "L", 18, approvalSlot).conflict, 16);
    EXPECT_FALSE(pressOn(send, ledger, chain, "M", 3, {}, "0xbbbb").conflict);

    // Known now: the request that sent it follows it; any other press is refused once, told
    // it went through, and signs nothing.
    chain->known.insert("J");
    chain->server = "take";
    Press elsewhere = pressOn(send, ledger, chain, "N", 19);
    EXPECT_EQ(send.step(), Step::Failed);
    EXPECT_NE(elsewhere.failure.find("went through; nothing new was signed"), std::string::npos);
    EXPECT_TRUE(elsewhere.sent.empty());
    EXPECT_EQ(chain->sends.count("N"), 0u);
    // Told once: the next press there signs what it asks, free of it (and of K and L, which
    // could only land instead of J).
    Press again = pressOn(send, ledger, chain, "N", 19);
    EXPECT_FALSE(again.conflict);
    EXPECT_EQ(send.txHash(), "N");
}

TEST(SignedBroadcast, AnAttemptIsForgottenOnlyWhenTheChainProvesItCanNeverLand) {
    // The first attempt landed; the server answering lookups has not seen it for many looks.
    // No number of looks forgets it: the next press must share its conflict, never sign free.
    AttemptLedger ledger;
    TransactionFlow flow(quick());
    auto chain = std::make_shared<Chain>();
    pressOn(flow, ledger, chain, "A", 7);
    EXPECT_EQ(flow.step(), Step::Failed);
    chain->known.insert("A");
    chain->lagging["A"] = 1000;
    EXPECT_EQ(pressOn(flow, ledger, chain, "B", 8).conflict, 7);
    EXPECT_EQ(pressOn(flow, ledger, chain, "C", 9).conflict, 7);
    ASSERT_TRUE(ledger.find("A"));
    // Its lookup catches up: followed.
    chain->lagging["A"] = 0;
    chain->server = "take";
    Press caughtUp = pressOn(flow, ledger, chain, "D", 10);
    EXPECT_EQ(caughtUp.known, "A");
    EXPECT_EQ(chain->sends.count("D"), 0u);
    EXPECT_EQ(flow.txHash(), "A");

    // In a block: settled, with what could only land instead of it.
    flow.reset();
    chain->server = "refuse";
    pressOn(flow, ledger, chain, "E", 11);
    pressOn(flow, ledger, chain, "F", 12); // shares E's nonce
    TransactionFlow landing(quick());
    QSignalSpy finished(&landing, &TransactionFlow::finished);
    landing.start(Step::Signing, [&ledger](FlowRun run) -> QCoro::Task<void> {
        run.useLedger(ledger);
        run.broadcasted("F");
        run.confirmed();
        co_return;
    });
    EXPECT_TRUE(finished.count() > 0 || finished.wait(5000));
    EXPECT_FALSE(ledger.find("E"));
    EXPECT_FALSE(ledger.find("F"));

    // A chain that cannot be asked (its lookups fail) proves nothing: kept, and binding.
    AttemptLedger unanswered;
    pressOn(flow, unanswered, chain, "X", 20);
    chain->silent.insert("X");
    EXPECT_EQ(pressOn(flow, unanswered, chain, "Y", 21).conflict, 20);
    EXPECT_TRUE(unanswered.find("X"));
}

// Sends `id` from `slot` and moves the face on to `face` (Failed: the run fails instead),
// noting after the answer and again after the face whether the ledger holds it as told.
QCoro::Task<void> sendThenShow(FlowRun run, std::shared_ptr<Chain> chain, AttemptLedger* ledger,
                               std::string id, std::string slot, Step face,
                               std::shared_ptr<std::vector<bool>> told) {
    run.useLedger(*ledger);
    QCoro::Task<bool> sending = broadcastSigned(run, attempt(chain, id, 7, slot));
    if (!co_await std::move(sending)) {
        co_return;
    }
    told->push_back(ledger->find(id)->told);
    if (face == Step::Failed) {
        throw std::runtime_error("The approval was reverted on chain.");
    }
    if (face == Step::Confirmed) {
        run.confirmed();
    } else if (face == Step::Submitted) {
        run.submitted();
    } else {
        run.setStep(face);
    }
    told->push_back(ledger->find(id)->told);
}

// The server took it: told only once the face says it left (waiting for it, submitted,
// confirmed), never while it still reads "Broadcasting". An approval's face never says so (it
// is done with once in a block), and a flow whose caller tells the user leaves it to the caller.
TEST(SignedBroadcast, WhatLeftIsToldOnlyOnceTheFaceSaysSo) {
    auto chain = std::make_shared<Chain>();
    chain->server = "take";
    AttemptLedger ledger;
    const auto press = [&](TransactionFlow& flow, const std::string& id, const std::string& slot,
                           Step face) {
        auto told = std::make_shared<std::vector<bool>>();
        QSignalSpy finished(&flow, &TransactionFlow::finished);
        flow.start(Step::Broadcasting, [=, &ledger](FlowRun run) {
            return sendThenShow(std::move(run), chain, &ledger, id, slot, face, told);
        });
        EXPECT_TRUE(finished.count() > 0 || finished.wait(5000));
        return *told;
    };
    TransactionFlow flow(quick());
    flow.setObjectName("swap:ethereum");
    const std::vector<bool> untilTheFace{false, true};
    EXPECT_EQ(press(flow, "A", {}, Step::WaitingConfirmation), untilTheFace);
    EXPECT_EQ(press(flow, "B", {}, Step::Submitted), untilTheFace);
    EXPECT_EQ(press(flow, "C", {}, Step::Confirmed), untilTheFace);

    EXPECT_EQ(press(flow, "D", approvalSlot, Step::Failed), std::vector<bool>{false});
    EXPECT_EQ(flow.step(), Step::Failed);
    ASSERT_TRUE(ledger.find("D"));
    EXPECT_FALSE(ledger.find("D")->told);

    TransactionFlow dapp(quick());
    dapp.setObjectName("walletconnect");
    dapp.setToldByCaller(true);
    EXPECT_EQ(press(dapp, "E", "walletconnect:t:1", Step::Submitted),
              (std::vector<bool>{false, false}));
    EXPECT_EQ(dapp.takeLeftUntold(), std::vector<std::string>{"E"});
    EXPECT_TRUE(dapp.takeLeftUntold().empty());
    EXPECT_FALSE(ledger.find("E")->told);
}

// Send Anyway tells the earlier attempt and every one sharing its nonce, and keeps them: until
// the chain settles them the history lists them as pending and the watch follows them, after a
// restart too. Another nonce, or another account, is not told.
TEST(SignedBroadcast, SendAnywayTellsTheEarlierAttemptsAndKeepsThem) {
    QTemporaryDir folder;
    const std::filesystem::path file =
        std::filesystem::path(folder.path().toStdString()) / "Q" / "attempts.json";
    const auto kept = [](const std::string& id, std::uint64_t nonce, const std::string& from) {
        UnsettledAttempt attempt;
        attempt.chain = qm::Chain::ethereum;
        attempt.account = from;
        attempt.id = id;
        attempt.wire = "0x" + id;
        attempt.nonce = nonce;
        return attempt;
    };
    const auto expectTold = [](const AttemptLedger& ledger) {
        ASSERT_EQ(ledger.all().size(), 4u);
        for (const auto& [id, told] : std::vector<std::pair<std::string, bool>>{
                 {"A", true}, {"B", true}, {"C", false}, {"D", false}}) {
            ASSERT_TRUE(ledger.find(id)) << id;
            EXPECT_EQ(ledger.find(id)->told, told) << id;
            EXPECT_FALSE(ledger.find(id)->toldElsewhere) << id;
        }
    };
    {
        AttemptLedger ledger(file);
        test::runTask(ledger.keep(kept("A", 7, account)));
        test::runTask(ledger.keep(kept("B", 7, account))); // its replacement
        test::runTask(ledger.keep(kept("C", 8, account)));
        test::runTask(ledger.keep(kept("D", 7, "0xbbbb")));
        sendAnyway(ledger, "B");
        expectTold(ledger);
    }
    AttemptLedger restarted(file);
    restarted.load();
    expectTold(restarted);
}

} // namespace
} // namespace qm
