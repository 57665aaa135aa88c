// The one-shot result and the table of pending requests.
#include "RunTask.h"
#include "platform/async/OneShot.h"
#include "platform/async/PendingRequests.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

using namespace std::chrono_literals;
using qm::OneShot;
using qm::PendingRequests;
using qm::test::runTask;

namespace {

struct Timeout : std::runtime_error {
    Timeout() : std::runtime_error("timed out") {}
};

// Awaits `shot` and counts the resumption, as a waiter of the result.
QCoro::Task<int> waitAndCount(OneShot<int> shot, int& resumed) {
    const int value = co_await shot.wait();
    ++resumed;
    co_return value;
}

std::string failureText(QCoro::Task<int> task) {
    try {
        runTask(std::move(task));
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no failure";
}

} // namespace

TEST(OneShot, ResumesEveryWaiterOnALaterTurnWithTheFirstCompletion) {
    OneShot<int> shot;
    int resumed = 0;
    auto first = waitAndCount(shot, resumed);
    auto second = waitAndCount(shot, resumed);
    EXPECT_TRUE(shot.succeed(7));
    // Nobody runs inside the completing call.
    EXPECT_EQ(resumed, 0);
    EXPECT_FALSE(first.isReady());
    // Later completions lose, whatever their kind.
    EXPECT_FALSE(shot.succeed(8));
    EXPECT_FALSE(shot.fail(std::make_exception_ptr(Timeout())));
    EXPECT_EQ(runTask(std::move(first)), 7);
    EXPECT_EQ(runTask(std::move(second)), 7);
    EXPECT_EQ(resumed, 2);
    // A waiter that comes after the completion gets the result at once.
    EXPECT_EQ(runTask(shot.take()), 7);

    OneShot<void> failed;
    EXPECT_TRUE(failed.fail(std::make_exception_ptr(Timeout())));
    EXPECT_FALSE(failed.succeed());
    EXPECT_THROW(runTask(failed.wait()), Timeout);
}

TEST(PendingRequests, EachRequestTimesOutOnItsOwnAndLateAnswersAreIgnored) {
    PendingRequests<int> pending([] { return std::make_exception_ptr(Timeout()); });
    const OneShot<int> quick = pending.add(1, 20ms);
    const OneShot<int> slow = pending.add(2, 60'000ms);
    const OneShot<int> answered = pending.add(3, 20ms);
    EXPECT_TRUE(pending.succeed(3, 30));
    EXPECT_EQ(pending.add(2, 60'000ms).isDone(), true); // an id still in use is refused

    EXPECT_EQ(failureText(quick.wait()), "timed out");
    EXPECT_FALSE(pending.contains(1));
    EXPECT_FALSE(pending.succeed(1, 10)); // too late: the caller has its time-out already
    EXPECT_EQ(failureText(quick.wait()), "timed out");
    EXPECT_FALSE(slow.isDone());
    EXPECT_EQ(runTask(answered.wait()), 30);

    pending.failAll(std::make_exception_ptr(std::runtime_error("closed")));
    EXPECT_EQ(pending.size(), 0u);
    EXPECT_EQ(failureText(slow.wait()), "closed");
}
