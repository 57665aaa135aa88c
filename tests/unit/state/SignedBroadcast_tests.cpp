// The one rule by which every flow hands a signed transaction to a server: the server's answer
// must name the transaction's own id; a refusal sends the user back to the review only when the
// chain does not come to hold the transaction; a lost answer never does: the id shows, the same
// bytes go again now and then, and the chain's word (or its silence) ends the run.
#include "state/flows/SignedBroadcast.h"
#include "state/flows/TransactionFlow.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
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
    int sends = 0;
    int lookups = 0;
};

template <typename T> const T& nth(const std::vector<T>& list, int n) {
    return list[std::min<std::size_t>(static_cast<std::size_t>(n), list.size() - 1)];
}

QCoro::Task<std::string> send(std::shared_ptr<Peer> peer) {
    const std::string& answer = nth(peer->answers, peer->sends++);
    if (answer == "refuse") {
        throw Refusal("JSON-RPC error -32000: nonce too low");
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

QCoro::Task<void> body(FlowRun run, std::shared_ptr<Peer> peer, bool isRunsOwn) {
    SignedBroadcast tx;
    tx.id = ourID;
    tx.send = [peer](CancellationToken) { return send(peer); };
    tx.lookup = [peer](CancellationToken) { return lookup(peer); };
    tx.refused = [](const std::exception& e) {
        return dynamic_cast<const Refusal*>(&e) != nullptr;
    };
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

Outcome broadcastWith(const std::shared_ptr<Peer>& peer, bool isRunsOwn = true) {
    FlowLimits limits;
    limits.pollInterval = 5ms;
    limits.confirmationTimeout = 400ms;
    limits.pace = 0;
    TransactionFlow flow(limits);
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
        EXPECT_EQ(peer->lookups, 1);
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

} // namespace
} // namespace qm
