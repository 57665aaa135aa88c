#include "AppStateFixture.h"
#include "RunTask.h"
#include "state/async/CancellableSleep.h"
#include "state/async/CancellationToken.h"
#include "state/async/TaskHandle.h"
#include "state/async/WhenAll.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {
namespace {

using namespace std::chrono_literals;
using test::AppStateFixture;
using test::runTask;

constexpr auto longWait = std::chrono::hours(1);

// An owner with a job that records what it sees, re-checking itself after each await.
class Owner : public QObject {
public:
    explicit Owner(std::vector<std::string>& log) : m_log(log) {}

    QCoro::Task<void> record(std::string name) {
        m_log.push_back(name);
        co_return;
    }

    QCoro::Task<void> sleepThenWrite(CancellationToken token, std::vector<std::string>* log) {
        QPointer<Owner> self(this);
        const bool slept = co_await cancellableSleep(longWait, token);
        log->push_back(slept ? "slept" : "woken");
        if (!self) {
            log->push_back("owner gone");
            co_return;
        }
        self->m_log.push_back("wrote");
    }

private:
    std::vector<std::string>& m_log;
};

QCoro::Task<void> failing() {
    throw std::runtime_error("child failed");
    co_return;
}

QCoro::Task<void> waitThenMark(CancellationToken gate, bool* done) {
    co_await cancellableSleep(longWait, gate);
    *done = true;
}

QCoro::Task<void> openGate(CancellationToken gate) {
    co_await cancellableSleep(1ms, CancellationToken());
    gate.cancel();
}

TEST(TaskHandle, JobsStartOnALaterTurnInTheOrderSpawnedAndFailuresFinish) {
    std::vector<std::string> log;
    Owner owner(log);
    const TaskHandle a =
        TaskHandle::spawn(&owner, [&owner](const CancellationToken&) { return owner.record("a"); });
    const TaskHandle b =
        TaskHandle::spawn(&owner, [&owner](const CancellationToken&) { return owner.record("b"); });
    // A failing job is logged and finishes like any other.
    const TaskHandle failed =
        TaskHandle::spawn(&owner, [](const CancellationToken&) { return failing(); });
    log.push_back("spawned");
    EXPECT_FALSE(a.isFinished());
    AppStateFixture::settle();
    EXPECT_EQ(log, (std::vector<std::string>{"spawned", "a", "b"}));
    EXPECT_TRUE(a.isFinished() && b.isFinished() && failed.isFinished());
    EXPECT_FALSE(failed.isCancelled());
}

TEST(TaskHandle, CancellationBeforeTheStartOrDuringAWait) {
    std::vector<std::string> log;
    Owner owner(log);

    const TaskHandle never = TaskHandle::spawn(
        &owner, [&owner](const CancellationToken&) { return owner.record("never"); });
    never.cancel();
    AppStateFixture::settle();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(never.isFinished());

    std::vector<std::string> steps;
    const TaskHandle sleeper = TaskHandle::spawn(&owner, [&owner, &steps](CancellationToken token) {
        return owner.sleepThenWrite(std::move(token), &steps);
    });
    AppStateFixture::settle();
    EXPECT_TRUE(steps.empty()); // asleep
    sleeper.cancel();
    EXPECT_TRUE(steps.empty()); // woken on a later turn, never inside cancel()
    runTask(sleeper.finished());
    EXPECT_EQ(steps, (std::vector<std::string>{"woken"}));
    EXPECT_EQ(log, (std::vector<std::string>{"wrote"}));
    EXPECT_TRUE(sleeper.isCancelled());
}

TEST(TaskHandle, DestroyingTheOwnerCancelsItsJobsAndTheyLeaveItAlone) {
    std::vector<std::string> log;
    std::vector<std::string> steps;
    auto* owner = new Owner(log);
    const TaskHandle sleeper = TaskHandle::spawn(owner, [owner, &steps](CancellationToken token) {
        return owner->sleepThenWrite(std::move(token), &steps);
    });
    AppStateFixture::settle();
    delete owner; // mid-await
    runTask(sleeper.finished());
    EXPECT_TRUE(sleeper.isCancelled());
    EXPECT_EQ(steps, (std::vector<std::string>{"woken", "owner gone"}));
    EXPECT_TRUE(log.empty());

    // Gone before its job's turn: the job never starts.
    auto* shortLived = new Owner(log);
    const TaskHandle unstarted = TaskHandle::spawn(
        shortLived, [shortLived](const CancellationToken&) { return shortLived->record("x"); });
    delete shortLived;
    AppStateFixture::settle();
    EXPECT_TRUE(unstarted.isFinished());
    EXPECT_TRUE(log.empty());
}

TEST(CancellationToken, CallbacksRunOnceInOrderAndCanBeRemoved) {
    CancellationToken token;
    const CancellationToken copy = token;
    std::vector<int> calls;
    token.onCancel([&] { calls.push_back(1); });
    const auto removed = token.onCancel([&] { calls.push_back(2); });
    token.onCancel([&] { calls.push_back(3); });
    token.removeCallback(removed);
    EXPECT_FALSE(copy.isCancelled());
    copy.cancel();
    copy.cancel();
    EXPECT_TRUE(token.isCancelled());
    EXPECT_EQ(calls, (std::vector<int>{1, 3}));
    token.onCancel([&] { calls.push_back(4); }); // already cancelled: runs at once
    EXPECT_EQ(calls, (std::vector<int>{1, 3, 4}));
}

TEST(WhenAll, ChildrenRunSideBySideAndTheFirstFailureComesLast) {
    // The first child only finishes when the second opens its gate: awaiting them one after
    // the other without both running would never end.
    CancellationToken gate;
    bool firstDone = false;
    std::vector<QCoro::Task<void>> children;
    children.push_back(waitThenMark(gate, &firstDone));
    children.push_back(openGate(gate));
    runTask(whenAll(std::move(children)));
    EXPECT_TRUE(firstDone);

    // A failure is rethrown only after every child has finished.
    CancellationToken secondGate;
    bool lateDone = false;
    std::vector<QCoro::Task<void>> failingChildren;
    failingChildren.push_back(failing());
    failingChildren.push_back(waitThenMark(secondGate, &lateDone));
    failingChildren.push_back(openGate(secondGate));
    EXPECT_THROW(runTask(whenAll(std::move(failingChildren))), std::runtime_error);
    EXPECT_TRUE(lateDone);

    runTask(whenAll({}));
}

} // namespace
} // namespace qm
