#pragma once
// A one-shot result that a suspended coroutine waits for. Whoever completes it never runs the
// waiter inline: the resumption is posted to the event loop, so the receive path (and the
// line parser in particular) is never re-entered from inside a caller's continuation.

#include "services/bitcoin/AnyCodable.h"

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>

namespace qm {

class ElectrumReply {
public:
    bool isDone() const { return done_; }
    // The first completion wins; later ones are ignored. Return whether this one won.
    bool succeed(AnyCodable value);
    bool fail(std::exception_ptr error);

    // co_await *reply: the value, or the error thrown.
    struct Awaiter {
        std::shared_ptr<ElectrumReply> reply;
        bool await_ready() const noexcept { return reply->done_; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { reply->waiter_ = handle; }
        AnyCodable await_resume();
    };
    static Awaiter wait(std::shared_ptr<ElectrumReply> reply) { return Awaiter{std::move(reply)}; }

private:
    void resumeLater();

    bool done_ = false;
    std::optional<AnyCodable> value_;
    std::exception_ptr error_;
    std::coroutine_handle<> waiter_;
};

} // namespace qm
