#pragma once
// untilCancelled for a request a task alone awaits: the HTTP requests it sends are aborted when
// the task's token is cancelled. GUI thread only.

#include "platform/async/CancellationToken.h"
#include "platform/async/UntilCancelled.h"
#include "services/network/HttpAbortGroup.h"

#include <concepts>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <utility>

namespace qm {

namespace detail {

// Aborts the HTTP requests of `group` when `token` is cancelled, for as long as it is alive.
class AbortOnCancel {
public:
    AbortOnCancel(std::shared_ptr<HttpAbortGroup> group, CancellationToken token)
        : m_token(std::move(token)),
          m_callback(m_token.onCancel([group = std::move(group)] { group->abort(); })) {}
    ~AbortOnCancel() { m_token.removeCallback(m_callback); }
    AbortOnCancel(const AbortOnCancel&) = delete;
    AbortOnCancel& operator=(const AbortOnCancel&) = delete;

private:
    CancellationToken m_token;
    CancellationToken::CallbackID m_callback;
};

template <typename T>
QCoro::Task<std::optional<T>> untilCancelledAborting(QCoro::Task<T> request,
                                                     std::shared_ptr<HttpAbortGroup> group,
                                                     CancellationToken token) {
    const AbortOnCancel guard(std::move(group), token);
    co_return co_await untilCancelled(std::move(request), token);
}

} // namespace detail

// As above, for a request the task alone awaits: `start()` starts it, and every HTTP request it
// sends, then or after an earlier one of it ends, is aborted when the token is cancelled. Shared
// work (a connection pass other tasks may await too) goes through the form above instead, and so
// do Electrum requests, which are not HTTP and end with their own connection's time-out.
template <typename Start>
requires std::invocable<Start&>
auto untilCancelled(Start&& start, CancellationToken token) {
    auto group = std::make_shared<HttpAbortGroup>();
    auto request = [&] {
        const HttpAbortGroup::Scope scope(group);
        return start();
    }();
    return detail::untilCancelledAborting(std::move(request), std::move(group), std::move(token));
}

} // namespace qm
