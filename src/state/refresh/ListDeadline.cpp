#include "state/refresh/ListDeadline.h"

#include "services/connections/NetworkManager.h"
#include "state/AppState.h"

namespace qm {

std::chrono::milliseconds listLoadLimit(const AppState& state) {
    return state.networkManager().options().rpcTimeouts.total;
}

ListDeadline::ListDeadline(std::chrono::milliseconds limit, Expire expire)
    : m_expire(std::move(expire)) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { m_expire(m_ended); });
    m_timer.start(limit);
}

void ListDeadline::expireNow() {
    if (m_timer.isActive()) {
        m_timer.stop();
        m_expire(m_ended);
    }
}

} // namespace qm
