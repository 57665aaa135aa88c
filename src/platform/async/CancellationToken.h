#pragma once
// Cooperative cancellation for the background jobs of the application state. A job
// checks the token before each request and each write; waits that can take long (a
// sleep, a request) register a callback to end early. GUI thread only.

#include <cstdint>
#include <functional>
#include <memory>

namespace qm {

class CancellationToken {
public:
    using CallbackID = std::uint64_t;

    // A fresh token, not cancelled.
    CancellationToken();

    // Marks the token cancelled and runs the registered callbacks once, in the order they
    // were registered. Later calls do nothing.
    void cancel() const;
    bool isCancelled() const;

    // Runs `callback` when the token is cancelled (at once when it already is). The id
    // removes it again; removing an id that already ran is harmless.
    CallbackID onCancel(std::function<void()> callback) const;
    void removeCallback(CallbackID id) const;

    // Copies share one state: equal when they are the same token.
    bool operator==(const CancellationToken& other) const { return m_state == other.m_state; }

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace qm
