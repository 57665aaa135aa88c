#pragma once
// Work cut short at any point: each round runs it in a forked child. Round 0 lets it finish
// and measures how long it takes; every later round kills the child (SIGKILL, as a crash or a
// power cut would) after a random part of that time. What the work wrote is then checked by
// the test, which sees the state a real interruption leaves.

#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qm::test {

class KillAtRandom {
public:
    // Runs `work` in a child that exits when it returns, and waits for the child. False, with
    // a failure recorded, when the child could not be started or round 0 did not end well.
    bool run(int round, const std::function<void()>& work) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child < 0) {
            ADD_FAILURE() << "fork failed";
            return false;
        }
        if (child == 0) {
            work();
            ::_exit(0);
        }
        if (round > 0) {
            std::uniform_int_distribution<std::int64_t> delay(0, m_fullRun.count());
            std::this_thread::sleep_for(std::chrono::microseconds(delay(m_random)));
            ::kill(child, SIGKILL);
        }
        int status = 0;
        if (::waitpid(child, &status, 0) != child) {
            ADD_FAILURE() << "waitpid failed";
            return false;
        }
        if (round == 0) {
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                ADD_FAILURE() << "the undisturbed run did not end well";
                return false;
            }
            m_fullRun = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - start);
        }
        return true;
    }

private:
    std::mt19937_64 m_random{std::random_device{}()};
    std::chrono::microseconds m_fullRun{0};
};

} // namespace qm::test
