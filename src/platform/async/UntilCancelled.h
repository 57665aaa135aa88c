#pragma once
// Awaiting a request on behalf of a cancellable task: the wait ends the moment the task's token
// is cancelled, so a stalled server never holds a cancelled task.
//
//     const auto balance = co_await untilCancelled(client->getBalance(a, token), token);
//     if (!balance) co_return;   // cancelled
//
// GUI thread only, like the tokens and the HTTP sessions.

#include "platform/async/CancellationToken.h"
#include "platform/async/OneShot.h"

#include <exception>
#include <optional>
#include <qcoro/qcorotask.h>
#include <utility>

namespace qm {

namespace detail {

// Runs on by itself when its awaiter gave up; the frame frees itself when the request ends.
template <typename T>
QCoro::Task<void> runRequest(QCoro::Task<T> request, OneShot<T> result, OneShot<void> ended) {
    try {
        result.succeed(co_await std::move(request));
    } catch (...) {
        result.fail(std::current_exception());
    }
    ended.succeed();
}

} // namespace detail

// The request's result; absent when the token was cancelled by the time the request ended or
// was given up (the request then runs out on its own and its result or failure is dropped). A
// failure of the request is rethrown.
template <typename T>
QCoro::Task<std::optional<T>> untilCancelled(QCoro::Task<T> request, CancellationToken token) {
    OneShot<T> result;
    // Completed by whichever comes first: the request's end or the token's cancellation.
    OneShot<void> ended;
    detail::runRequest(std::move(request), result, ended);
    const CancellationToken::CallbackID callback = token.onCancel([ended] { ended.succeed(); });
    co_await ended.wait();
    token.removeCallback(callback);
    if (!result.isDone() || token.isCancelled()) {
        co_return std::nullopt;
    }
    co_return co_await result.take();
}

} // namespace qm
