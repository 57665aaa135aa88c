#include "platform/async/CancellationToken.h"

#include <utility>
#include <vector>

namespace qm {

struct CancellationToken::State {
    bool cancelled = false;
    CallbackID nextID = 1;
    std::vector<std::pair<CallbackID, std::function<void()>>> callbacks;
};

CancellationToken::CancellationToken() : m_state(std::make_shared<State>()) {}

void CancellationToken::cancel() const {
    if (m_state->cancelled) {
        return;
    }
    m_state->cancelled = true;
    // Taken out first: a callback may register or remove others while it runs.
    auto callbacks = std::move(m_state->callbacks);
    m_state->callbacks.clear();
    for (auto& entry : callbacks) {
        entry.second();
    }
}

bool CancellationToken::isCancelled() const {
    return m_state->cancelled;
}

CancellationToken::CallbackID CancellationToken::onCancel(std::function<void()> callback) const {
    const CallbackID id = m_state->nextID++;
    if (m_state->cancelled) {
        callback();
        return id;
    }
    m_state->callbacks.emplace_back(id, std::move(callback));
    return id;
}

void CancellationToken::removeCallback(CallbackID id) const {
    std::erase_if(m_state->callbacks, [id](const auto& entry) { return entry.first == id; });
}

} // namespace qm
