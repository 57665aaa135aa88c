#include "platform/async/TaskHandle.h"

#include "platform/async/NextTurn.h"
#include "platform/async/OneShot.h"

#include <QPointer>
#include <exception>
#include <iostream>

namespace qm {

struct TaskHandle::State {
    CancellationToken token;
    // Its waiters resume from the event loop, never inside the job's last step.
    OneShot<void> finished;
    QMetaObject::Connection ownerWatch;

    void markFinished() {
        QObject::disconnect(ownerWatch);
        finished.succeed();
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
    return m_state->finished.isDone();
}

const CancellationToken& TaskHandle::token() const {
    return m_state->token;
}

QCoro::Task<void> TaskHandle::finished() const {
    return m_state->finished.wait();
}

} // namespace qm
