#pragma once
// A result that is completed once (a value, or an error) and awaited by any number of
// coroutines. Whoever completes it never runs a waiter inline: each waiter is resumed from the
// event loop on a later turn, so the completing code (a socket's read path, a reply's signal, a
// destructor) is never re-entered from inside a waiter's continuation.
//
//     OneShot<int> answer;
//     ...                               // elsewhere: answer.succeed(42);
//     const int value = co_await answer.wait();
//
// Copies share one result. The first completion wins; later ones are ignored. GUI thread only
// (any thread with an event loop, as long as one thread uses it).

#include "platform/async/NextTurn.h"

#include <exception>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <type_traits>
#include <utility>
#include <vector>

namespace qm {

template <typename T> class OneShot {
    using Stored = std::conditional_t<std::is_void_v<T>, bool, T>;

    struct State {
        bool done = false;
        std::optional<Stored> value;
        std::exception_ptr error;
        std::vector<std::coroutine_handle<>> waiters;

        bool complete() {
            if (done) {
                return false;
            }
            done = true;
            for (const std::coroutine_handle<> waiter : std::exchange(waiters, {})) {
                resumeOnNextTurn(waiter);
            }
            return true;
        }
    };

    class Awaiter {
    public:
        explicit Awaiter(std::shared_ptr<State> state) : m_state(std::move(state)) {}
        bool await_ready() const noexcept { return m_state->done; }
        void await_suspend(std::coroutine_handle<> waiter) { m_state->waiters.push_back(waiter); }
        void await_resume() const noexcept {}

    private:
        std::shared_ptr<State> m_state;
    };

public:
    OneShot() : m_state(std::make_shared<State>()) {}

    bool isDone() const { return m_state->done; }

    // Completes with a value (no argument for OneShot<void>); whether this completion won.
    template <typename U = T>
    requires(!std::is_void_v<U>) bool succeed(Stored value) const {
        if (m_state->done) {
            return false;
        }
        m_state->value.emplace(std::move(value));
        return m_state->complete();
    }
    template <typename U = T>
    requires std::is_void_v<U>
    bool succeed() const {
        if (m_state->done) {
            return false;
        }
        m_state->value.emplace(true);
        return m_state->complete();
    }
    // Completes with an error that every waiter rethrows; whether this completion won.
    bool fail(std::exception_ptr error) const {
        if (m_state->done) {
            return false;
        }
        m_state->error = std::move(error);
        return m_state->complete();
    }

    // The result (a copy for each waiter), or the error rethrown.
    QCoro::Task<T> wait() const {
        const std::shared_ptr<State> state = m_state;
        // Named: gcc 12 destroys some temporaries of a co_await expression twice.
        Awaiter awaiter(state);
        co_await awaiter;
        if (state->error) {
            std::rethrow_exception(state->error);
        }
        if constexpr (!std::is_void_v<T>) {
            co_return *state->value;
        }
    }

    // As wait(), moving the value out: for a result only one coroutine awaits.
    QCoro::Task<T> take() const {
        const std::shared_ptr<State> state = m_state;
        Awaiter awaiter(state);
        co_await awaiter;
        if (state->error) {
            std::rethrow_exception(state->error);
        }
        if constexpr (!std::is_void_v<T>) {
            co_return std::move(*state->value);
        }
    }

    // Equal when both are the same result.
    bool operator==(const OneShot& other) const { return m_state == other.m_state; }

private:
    std::shared_ptr<State> m_state;
};

} // namespace qm
