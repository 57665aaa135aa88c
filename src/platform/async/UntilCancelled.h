#pragma once
// Awaiting a request on behalf of a cancellable task: the wait ends the moment the task's token
// is cancelled, so a stalled server never holds a cancelled task.
//
//     const auto balance = co_await untilCancelled([&] { return client->getBalance(a); }, token);
//     if (!balance) co_return;   // cancelled
//
// GUI thread only, like the tokens and the HTTP sessions.

#include "platform/async/CancellationToken.h"
#include "platform/async/NextTurn.h"

#include <concepts>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <utility>

namespace qm {

namespace detail {

template <typename T> struct RequestRace {
    std::optional<T> value;
    std::exception_ptr error;
    bool finished = false;
    bool resumed = false;
    std::coroutine_handle<> waiter;

    void wake() {
        if (waiter && !resumed) {
            resumed = true;
            resumeOnNextTurn(waiter);
        }
    }
};

// Runs on by itself when its awaiter gave up; the frame frees itself when the request ends.
template <typename T>
QCoro::Task<void> runRequest(QCoro::Task<T> request, std::shared_ptr<RequestRace<T>> race) {
    try {
        race->value.emplace(co_await std::move(request));
    } catch (...) {
        race->error = std::current_exception();
    }
    race->finished = true;
    race->wake();
}

template <typename T> class RequestRaceAwaiter {
public:
    RequestRaceAwaiter(std::shared_ptr<RequestRace<T>> race, CancellationToken token)
        : m_race(std::move(race)), m_token(std::move(token)) {}

    bool await_ready() const noexcept { return m_race->finished || m_token.isCancelled(); }
    void await_suspend(std::coroutine_handle<> coroutine) {
        m_race->waiter = coroutine;
        m_callback = m_token.onCancel([race = m_race] { race->wake(); });
    }
    void await_resume() const { m_token.removeCallback(m_callback); }

private:
    std::shared_ptr<RequestRace<T>> m_race;
    CancellationToken m_token;
    CancellationToken::CallbackID m_callback = 0;
};

} // namespace detail

// The request's result; absent when the token was cancelled by the time the request ended or
// was given up (the request then runs out on its own and its result or failure is dropped). A
// failure of the request is rethrown.
template <typename T>
QCoro::Task<std::optional<T>> untilCancelled(QCoro::Task<T> request, CancellationToken token) {
    auto race = std::make_shared<detail::RequestRace<T>>();
    detail::runRequest(std::move(request), race);
    // Named, like every awaiter with members here (gcc 12 mishandles some temporary ones).
    detail::RequestRaceAwaiter<T> awaiter(race, token);
    co_await awaiter;
    if (!race->finished || token.isCancelled()) {
        co_return std::nullopt;
    }
    if (race->error) {
        std::rethrow_exception(race->error);
    }
    co_return std::move(race->value);
}

} // namespace qm
