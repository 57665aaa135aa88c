#include "platform/async/TaskHandle.h"

#include "platform/async/NextTurn.h"

#include <QPointer>
#include <coroutine>
#include <exception>
#include <iostream>
#include <vector>

namespace qm {

struct TaskHandle::State {
    CancellationToken token;
    bool finished = false;
    QMetaObject::Connection ownerWatch;
    std::vector<std::coroutine_handle<>> waiters;

    void markFinished() {
        finished = true;
        QObject::disconnect(ownerWatch);
        // Waiters resume from the event loop, never inside the job's last step.
        for (std::coroutine_handle<> waiter : std::exchange(waiters, {})) {
            resumeOnNextTurn(waiter);
        }
    }
};

namespace {

QCoro::Task<void> runJob(QPointer<QObject> owner, std::shared_ptr<TaskHandle::State> state,
                         TaskHandle::Job job) {
    co_await NextTurn{};
    if (owner && !state->token.isCancelled()) {
        try {
            co_await job(state->token);
        } catch (const std::exception& error) {
            std::cout << "[AppState] A background task failed: " << error.what() << std::endl;
        } catch (...) {
            std::cout << "[AppState] A background task failed" << std::endl;
        }
    }
    state->markFinished();
}

struct FinishedAwaiter {
    std::shared_ptr<TaskHandle::State> state;

    bool await_ready() const noexcept { return state->finished; }
    void await_suspend(std::coroutine_handle<> coroutine) const {
        state->waiters.push_back(coroutine);
    }
    void await_resume() const noexcept {}
};

} // namespace

TaskHandle TaskHandle::spawn(QObject* owner, Job job) {
    auto state = std::make_shared<State>();
    if (owner) {
        std::weak_ptr<State> weak = state;
        state->ownerWatch = QObject::connect(owner, &QObject::destroyed, [weak] {
            if (auto alive = weak.lock()) {
                alive->token.cancel();
            }
        });
    }
    // The runner keeps the state; its frame frees itself when the job is done.
    runJob(QPointer<QObject>(owner), state, std::move(job));
    return TaskHandle(std::move(state));
}

void TaskHandle::cancel() const {
    m_state->token.cancel();
}

bool TaskHandle::isCancelled() const {
    return m_state->token.isCancelled();
}

bool TaskHandle::isFinished() const {
    return m_state->finished;
}

const CancellationToken& TaskHandle::token() const {
    return m_state->token;
}

QCoro::Task<void> TaskHandle::finished() const {
    const std::shared_ptr<State> state = m_state;
    // A named awaiter: gcc 12 destroys an aggregate temporary in a co_await twice.
    const FinishedAwaiter finished{state};
    co_await finished;
}

} // namespace qm
