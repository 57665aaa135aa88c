#pragma once
// A background job of the application state, as a handle its owner keeps.
//
//     m_loop = TaskHandle::spawn(this, [this](CancellationToken token) { return runLoop(token); });
//     ...
//     m_loop->cancel();
//
// The job starts on a later turn of the event loop, never inside spawn(), so the operation
// that spawns it finishes first. It is not started at all when the handle was cancelled or the
// owner destroyed in the meantime, and destroying the owner cancels the token of every job it
// spawned. Dropping the handle does not stop the job: it runs on, kept by nobody.
//
// The job is a plain function returning a coroutine (usually a member coroutine of the owner);
// the coroutine re-checks its owner (QPointer) after every co_await and stops when the token
// is cancelled. A failure that escapes the job is logged and dropped. GUI thread only.

#include "platform/async/CancellationToken.h"

#include <QObject>
#include <functional>
#include <memory>
#include <qcoro/qcorotask.h>

namespace qm {

class TaskHandle {
public:
    using Job = std::function<QCoro::Task<void>(CancellationToken)>;

    static TaskHandle spawn(QObject* owner, Job job);

    // Asks the job to stop: its token reads cancelled and its waits end early.
    void cancel() const;
    bool isCancelled() const;
    // The job has returned, or will never start.
    bool isFinished() const;
    const CancellationToken& token() const;

    // Completes (on a later turn) once the job has finished; at once when it already has.
    QCoro::Task<void> finished() const;

    // Equal when both handles are of the same task.
    bool operator==(const TaskHandle& other) const { return m_state == other.m_state; }

    struct State;

private:
    explicit TaskHandle(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    std::shared_ptr<State> m_state;
};

} // namespace qm
