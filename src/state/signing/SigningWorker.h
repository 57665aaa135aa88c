#pragma once
// The one thread on which the keychain and every key derivation run. One thread, not a pool:
// the keychain manager changes its own state (its fall-back to files), so its calls must
// never overlap; jobs run one at a time in the order they were posted.
//
//     const SecureBytes seed = co_await worker.run([&keychain, id, password = ...] { ... });
//
// run() posts the job and suspends the awaiting coroutine; the job's result or exception is
// handed back on the GUI thread, on a later turn of its event loop. The job owns what it
// captured and drops it on the worker, so secrets it held are wiped there. The coroutine
// re-checks its owner after the await, like after any other.

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <type_traits>
#include <utility>

namespace qm {

namespace detail {

// A job's outcome; written on the worker before the completion is posted, read on the GUI
// thread after it arrives (the event queue orders the two).
template <typename T> struct WorkerOutcome {
    using Value = std::conditional_t<std::is_void_v<T>, bool, T>;
    std::optional<Value> value;
    std::exception_ptr error;
    bool done = false; // GUI thread only
    std::coroutine_handle<> waiter;
};

template <typename T> class WorkerAwaiter {
public:
    explicit WorkerAwaiter(std::shared_ptr<WorkerOutcome<T>> outcome)
        : m_outcome(std::move(outcome)) {}
    bool await_ready() const noexcept { return m_outcome->done; }
    void await_suspend(std::coroutine_handle<> coroutine) { m_outcome->waiter = coroutine; }
    void await_resume() const noexcept {}

private:
    std::shared_ptr<WorkerOutcome<T>> m_outcome;
};

// Marks the outcome done on the GUI thread and resumes its waiter there.
template <typename T> void completeOnGuiThread(std::shared_ptr<WorkerOutcome<T>> outcome) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [outcome] {
            outcome->done = true;
            if (const std::coroutine_handle<> waiter = std::exchange(outcome->waiter, {})) {
                waiter.resume();
            }
        },
        Qt::QueuedConnection);
}

} // namespace detail

class SigningWorker {
public:
    SigningWorker();
    // Runs the jobs already posted, then stops the thread.
    ~SigningWorker();
    SigningWorker(const SigningWorker&) = delete;
    SigningWorker& operator=(const SigningWorker&) = delete;

    // The job's result, computed on the worker; its exception is rethrown to the awaiter.
    template <typename Job> QCoro::Task<std::invoke_result_t<Job&>> run(Job job) {
        using T = std::invoke_result_t<Job&>;
        auto outcome = std::make_shared<detail::WorkerOutcome<T>>();
        auto work = std::make_shared<Job>(std::move(job));
        auto step = [outcome, work]() mutable {
            try {
                if constexpr (std::is_void_v<T>) {
                    (*work)();
                    outcome->value.emplace(true);
                } else {
                    outcome->value.emplace((*work)());
                }
            } catch (...) {
                outcome->error = std::current_exception();
            }
            // The captures (passwords, seeds) go here, on the worker, before the hand-back.
            work.reset();
            detail::completeOnGuiThread(outcome);
        };
        QMetaObject::invokeMethod(m_context, std::move(step), Qt::QueuedConnection);
        detail::WorkerAwaiter<T> awaiter(outcome);
        co_await awaiter;
        if (outcome->error) {
            std::rethrow_exception(outcome->error);
        }
        if constexpr (!std::is_void_v<T>) {
            co_return std::move(*outcome->value);
        }
    }

    // The job run on the worker while the caller waits: only for the start-up reads, which
    // must finish before the window decides what to show. Deadlock-free: a job never waits
    // for the GUI thread.
    template <typename Job> std::invoke_result_t<Job&> runBlocking(Job job) {
        using T = std::invoke_result_t<Job&>;
        detail::WorkerOutcome<T> outcome;
        postBlocking([&] {
            try {
                if constexpr (std::is_void_v<T>) {
                    job();
                    outcome.value.emplace(true);
                } else {
                    outcome.value.emplace(job());
                }
            } catch (...) {
                outcome.error = std::current_exception();
            }
        });
        if (outcome.error) {
            std::rethrow_exception(outcome.error);
        }
        if constexpr (!std::is_void_v<T>) {
            return std::move(*outcome.value);
        }
    }

    // Posts a job whose end nobody awaits (it must not throw).
    template <typename F> void post(F work) {
        auto held = std::make_shared<F>(std::move(work));
        QMetaObject::invokeMethod(
            m_context,
            [held]() mutable {
                (*held)();
                held.reset();
            },
            Qt::QueuedConnection);
    }

    // True on the worker thread (the keychain's only user after start-up).
    bool isWorkerThread() const;

private:
    void postBlocking(const std::function<void()>& work);

    QThread m_thread;
    QObject* m_context; // lives on m_thread
};

} // namespace qm
