// The flow base every money-moving flow runs on: one run at a time, the failure rules before
// and after a broadcast, the bounded wait for the chain's answer, the paced progress, and the
// flow kept by its service after the screen that started it.
#include "HttpFixture.h"
#include "RunTask.h"
#include "platform/async/OneShot.h"
#include "platform/async/PollUntil.h"
#include "services/evm/JSONRPCClient.h"
#include "services/walletconnect/RelayError.h"
#include "state/UserErrorText.h"
#include "state/flows/FlowService.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace qm {
namespace {

using namespace std::chrono_literals;
using Step = TransactionFlow::Step;
using test::runTask;

FlowLimits quick() {
    FlowLimits limits;
    limits.pollInterval = 5ms;
    limits.confirmationTimeout = 300ms;
    limits.pace = 0;
    return limits;
}

// How a test body ends, after an optional broadcast of "0xabc".
enum class Ending { throwError, confirm, answerWith, returnPlainly };

struct Script {
    Script(bool broadcasts = false, Ending end = Ending::returnPlainly,
           std::vector<std::optional<bool>> chainAnswers = {}, bool throwsWhenAsked = false)
        : broadcast(broadcasts), ending(end), answers(std::move(chainAnswers)),
          probeThrows(throwsWhenAsked) {}

    bool broadcast = false;
    Ending ending = Ending::returnPlainly;
    // The chain's answers, one per ask; none: not known yet (asked again).
    std::vector<std::optional<bool>> answers;
    bool probeThrows = false;
    int* runs = nullptr;
    OneShot<void> gate; // the body waits for it first
};

QCoro::Task<std::optional<bool>> answer(std::shared_ptr<Script> script,
                                        std::shared_ptr<int> asked) {
    if (script->probeThrows) {
        throw std::runtime_error("JSONRPCClient: HTTP error 502");
    }
    const std::size_t n = static_cast<std::size_t>((*asked)++);
    co_return n < script->answers.size() ? script->answers[n] : std::nullopt;
}

QCoro::Task<void> body(FlowRun run, std::shared_ptr<Script> script) {
    ++*script->runs;
    co_await script->gate.wait();
    co_await run.animateProgress(0.5, 0.2);
    if (script->broadcast) {
        run.setStep(Step::Broadcasting);
        run.broadcasted("0xabc");
    }
    switch (script->ending) {
    case Ending::throwError:
        throw std::runtime_error("Invalid recipient address");
    case Ending::confirm:
        run.confirmed();
        break;
    case Ending::answerWith: {
        auto asked = std::make_shared<int>(0);
        // Named: gcc 12 destroys a capturing lambda built inside a co_await twice.
        QCoro::Task<std::optional<bool>> waiting =
            run.awaitChain([script, asked](CancellationToken) { return answer(script, asked); });
        const std::optional<bool> answered = co_await std::move(waiting);
        if (!answered) {
            run.submitted();
        } else if (*answered) {
            run.confirmed();
        } else {
            run.reverted(QStringLiteral("The transaction was reverted."));
        }
        break;
    }
    case Ending::returnPlainly:
        break;
    }
}

// Runs one script to its end on a fresh flow; the flow's step, text and id after it.
struct Outcome {
    Step step;
    QString error;
    QString hash;
};

Outcome runScript(Script script) {
    TransactionFlow flow(quick());
    int runs = 0;
    script.runs = &runs;
    auto shared = std::make_shared<Script>(std::move(script));
    shared->gate.succeed();
    QSignalSpy finished(&flow, &TransactionFlow::finished);
    EXPECT_TRUE(flow.start(Step::Signing, [shared](FlowRun run) { return body(run, shared); }));
    EXPECT_TRUE(finished.wait(5000));
    EXPECT_FALSE(flow.isRunning());
    EXPECT_EQ(runs, 1);
    return {flow.step(), flow.errorMessage(), flow.txHash()};
}

TEST(TransactionFlow, EndsOnlyWithWhatWasObserved) {
    // Before a broadcast a failure goes back to the review with its text.
    Outcome outcome = runScript(Script(false, Ending::throwError));
    EXPECT_EQ(outcome.step, Step::Failed);
    EXPECT_EQ(outcome.error, "Invalid recipient address");
    EXPECT_TRUE(outcome.hash.isEmpty());
    // A body that ends without a word before broadcasting has failed too.
    EXPECT_EQ(runScript(Script()).step, Step::Failed);

    // After it, never: the id stays, the failure is a note.
    outcome = runScript(Script(true, Ending::throwError));
    EXPECT_EQ(outcome.step, Step::Submitted);
    EXPECT_EQ(outcome.error, "Invalid recipient address");
    EXPECT_EQ(outcome.hash, "0xabc");
    EXPECT_EQ(runScript(Script(true)).step, Step::Submitted);

    // The chain's answer after some asks, a revert, silence until the bound, a failing ask.
    EXPECT_EQ(runScript(Script(true, Ending::answerWith, {std::nullopt, std::nullopt, true})).step,
              Step::Confirmed);
    outcome = runScript(Script(true, Ending::answerWith, {false}));
    EXPECT_EQ(outcome.step, Step::Reverted);
    EXPECT_EQ(outcome.error, "The transaction was reverted.");
    EXPECT_EQ(runScript(Script(true, Ending::answerWith)).step, Step::Submitted);
    outcome = runScript(Script(true, Ending::answerWith, {}, true));
    EXPECT_EQ(outcome.step, Step::Submitted);
    EXPECT_EQ(outcome.hash, "0xabc");
    EXPECT_EQ(outcome.error, "JSONRPCClient: HTTP error 502");
}

TEST(TransactionFlow, StartsOnceAtATimeAndKeepsItsOutcomeInItsServiceUntilReset) {
    FlowService service(quick());
    TransactionFlow* flow = service.flow(QStringLiteral("send:ethereum"));
    EXPECT_EQ(service.flow(QStringLiteral("send:ethereum")), flow);
    EXPECT_NE(service.flow(QStringLiteral("send:bitcoin")), flow);

    int runs = 0;
    auto script = std::make_shared<Script>();
    script->runs = &runs;
    script->broadcast = true;
    script->ending = Ending::confirm;
    const auto start = [&] {
        return flow->start(Step::Signing, [script](FlowRun run) { return body(run, script); });
    };
    EXPECT_TRUE(start());
    // A second press while the first run has not even reached its first step's work.
    EXPECT_FALSE(start());
    EXPECT_TRUE(flow->isRunning());
    EXPECT_EQ(flow->step(), Step::Signing);
    flow->reset(); // ignored while running
    EXPECT_EQ(flow->step(), Step::Signing);
    QSignalSpy finished(flow, &TransactionFlow::finished);
    script->gate.succeed();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(flow->step(), Step::Confirmed);
    EXPECT_EQ(flow->progress(), 1.0);
    EXPECT_EQ(flow->txHash(), "0xabc");

    flow->setSummary(QStringLiteral("0.5 ETH"), QStringLiteral("0x1234...abcd"));
    flow->reset();
    EXPECT_EQ(flow->step(), Step::Idle);
    EXPECT_TRUE(flow->summary().isEmpty() && flow->detail().isEmpty());
    EXPECT_EQ(flow->progress(), 0.0);
    EXPECT_TRUE(flow->txHash().isEmpty());
}

QCoro::Task<void> animate(FlowRun run, double from, double to, double seconds) {
    co_await run.animateProgress(from, 0);
    co_await run.animateProgress(to, seconds);
    run.confirmed();
}

TEST(TransactionFlow, ProgressMovesInTwentyEqualStepsToItsTarget) {
    FlowLimits limits = quick();
    limits.pace = 1.0;
    TransactionFlow flow(limits);
    std::vector<double> values;
    QObject::connect(&flow, &TransactionFlow::progressChanged,
                     [&] { values.push_back(flow.progress()); });
    QSignalSpy finished(&flow, &TransactionFlow::finished);
    QElapsedTimer clock;
    clock.start();
    flow.start(Step::Signing, [](FlowRun run) { return animate(run, 0.6, 0.9, 0.5); });
    ASSERT_TRUE(finished.wait(5000));
    // 20 updates to 0.6 (no pauses), 20 from 0.615 to 0.9 with 25 ms before each, then 1.0.
    ASSERT_EQ(values.size(), 41u);
    EXPECT_DOUBLE_EQ(values[19], 0.6);
    EXPECT_DOUBLE_EQ(values[20], 0.615);
    EXPECT_DOUBLE_EQ(values[39], 0.9);
    EXPECT_DOUBLE_EQ(values[40], 1.0);
    EXPECT_GE(clock.elapsed(), 480);
}

// A probe that never answers by itself: it ends only when its attempt is cancelled.
QCoro::Task<std::optional<int>> silent(CancellationToken attempt, std::shared_ptr<int> aborted) {
    OneShot<void> ended;
    attempt.onCancel([ended, aborted] {
        ++*aborted;
        ended.succeed();
    });
    co_await ended.wait();
    throw std::runtime_error("aborted");
}

TEST(PollUntil, GivesUpAtItsBoundAndAbortsTheAskInFlight) {
    auto aborted = std::make_shared<int>(0);
    QElapsedTimer clock;
    clock.start();
    const std::optional<int> answered = runTask(
        pollUntil<int>([aborted](CancellationToken attempt) { return silent(attempt, aborted); },
                       PollLimits(10ms, 150ms), CancellationToken()));
    EXPECT_EQ(answered, std::nullopt);
    EXPECT_EQ(*aborted, 1);
    EXPECT_GE(clock.elapsed(), 140);

    // Cancelled from outside: the same, at once.
    const CancellationToken token;
    QTimer::singleShot(20, [token] { token.cancel(); });
    clock.restart();
    EXPECT_EQ(runTask(pollUntil<int>(
                  [aborted](CancellationToken attempt) { return silent(attempt, aborted); },
                  PollLimits(10ms, 10s), token)),
              std::nullopt);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(*aborted, 2);
}

QCoro::Task<void> askForGasPrice(FlowRun, std::shared_ptr<JSONRPCClient> client) {
    QCoro::Task<UInt256> asking = client->gasPrice();
    co_await std::move(asking);
}

// A node that cannot be reached is named as the user knows it ("Cannot connect to Ethereum
// RPC"), not in the network library's words; other failures keep their own text.
TEST(TransactionFlow, AnUnreachableServiceIsNamedNotDescribed) {
    test::HttpFixture node;
    node.setHandler([](const test::HttpFixtureRequest&) {
        test::HttpFixtureResponse closed;
        closed.behaviour = test::HttpFixtureResponse::Behaviour::close;
        return closed;
    });
    const auto failureOf = [&](const std::string& unreachable) {
        auto client = std::make_shared<JSONRPCClient>(node.url());
        client->setUnreachableText(unreachable);
        TransactionFlow flow(quick());
        QSignalSpy finished(&flow, &TransactionFlow::finished);
        EXPECT_TRUE(flow.start(Step::Signing,
                               [client](FlowRun run) { return askForGasPrice(run, client); }));
        EXPECT_TRUE(finished.wait(5000));
        EXPECT_EQ(flow.step(), Step::Failed);
        return flow.errorMessage();
    };
    EXPECT_EQ(failureOf("Cannot connect to Ethereum RPC"), "Cannot connect to Ethereum RPC");
    // A client nobody named keeps the transport's text.
    const QString raw = failureOf("");
    EXPECT_FALSE(raw.isEmpty());
    EXPECT_NE(raw, "Cannot connect to Ethereum RPC");

    // A time-out is the service not answering; a cancel and an oversized reply are no failure
    // to reach it and keep their words.
    using Kind = HttpTransportError::Kind;
    const std::string named = "Cannot reach the Jupiter swap service";
    EXPECT_EQ(userErrorText(HttpTransportError(Kind::timedOut, "The request timed out.", named)),
              QString::fromStdString(named));
    EXPECT_EQ(userErrorText(HttpTransportError(Kind::tlsFailed, "SSL handshake failed", named)),
              QString::fromStdString(named));
    EXPECT_EQ(userErrorText(HttpTransportError(Kind::aborted, "The request was cancelled.", named)),
              "The request was cancelled.");
    EXPECT_EQ(userErrorText(
                  HttpTransportError(Kind::tooLarge, "The server's reply is too large.", named)),
              "The server's reply is too large.");
    EXPECT_EQ(userErrorText(std::runtime_error("Invalid recipient address")),
              "Invalid recipient address");

    // The WalletConnect relay likewise; an address that does not parse is no network failure.
    EXPECT_EQ(userErrorText(RelayError::connectionFailed("Connection closed")),
              "Cannot connect to the WalletConnect relay");
    EXPECT_EQ(userErrorText(RelayError::notConnected()),
              "Cannot connect to the WalletConnect relay");
    EXPECT_EQ(userErrorText(RelayError::connectionNotMade("Invalid URL")),
              "Relay connection failed: Invalid URL");
}

} // namespace
} // namespace qm
