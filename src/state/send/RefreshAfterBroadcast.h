#pragma once
// The refresh of every balance that follows a broadcast, however the run ends after it.

#include <QPointer>

namespace qm {

class AppState;

// Starts a refresh of every balance when it goes out of scope, without waiting for it.
class RefreshAfterBroadcast {
public:
    explicit RefreshAfterBroadcast(QPointer<AppState> state) : m_state(std::move(state)) {}
    ~RefreshAfterBroadcast();
    RefreshAfterBroadcast(const RefreshAfterBroadcast&) = delete;
    RefreshAfterBroadcast& operator=(const RefreshAfterBroadcast&) = delete;

private:
    QPointer<AppState> m_state;
};

} // namespace qm
