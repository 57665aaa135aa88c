#pragma once
// `co_await NextTurn{}` suspends the coroutine and resumes it from the event loop on a
// later turn, after the events already queued. Spawned tasks start this way, so the
// operation that spawned them finishes first.

#include <qcoro/qcorotask.h> // std::coroutine_handle, in a form moc can read

namespace qm {

struct NextTurn {
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> coroutine) const;
    void await_resume() const noexcept {}
};

// Calls `coroutine.resume()` from the event loop on a later turn (queued, first in first out).
void resumeOnNextTurn(std::coroutine_handle<> coroutine);

} // namespace qm
