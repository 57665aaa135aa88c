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

#include "platform/async/OneShot.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <type_traits>
#include <utility>

namespace qm {

namespace detail {

// What a job left behind: written on the worker before the hand-back is posted, read on the
// GUI thread after it arrives (the event queue orders the two).
template <typename T> struct WorkerOutcome {
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
};

// Runs the job, keeping its value or its exception.
template <typename T, typename Job> void runInto(WorkerOutcome<T>& outcome, Job& job) {
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
        const OneShot<T> result;
        auto outcome = std::make_shared<detail::WorkerOutcome<T>>();
        auto work = std::make_shared<Job>(std::move(job));
        auto step = [result, outcome, work]() mutable {
            detail::runInto(*outcome, *work);
            // The captures (passwords, seeds) go here, on the worker, before the hand-back.
            work.reset();
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [result, outcome] {
                    if (outcome->error) {
                        result.fail(outcome->error);
                    } else if constexpr (std::is_void_v<T>) {
                        result.succeed();
                    } else {
                        result.succeed(std::move(*outcome->value));
                    }
                },
                Qt::QueuedConnection);
        };
        QMetaObject::invokeMethod(m_context, std::move(step), Qt::QueuedConnection);
        co_return co_await result.take();
    }

    // The job run on the worker while the caller waits: only for the start-up reads, which
    // must finish before the window decides what to show. Deadlock-free: a job never waits
    // for the GUI thread.
    template <typename Job> std::invoke_result_t<Job&> runBlocking(Job job) {
        using T = std::invoke_result_t<Job&>;
        detail::WorkerOutcome<T> outcome;
        postBlocking([&] { detail::runInto(outcome, job); });
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
