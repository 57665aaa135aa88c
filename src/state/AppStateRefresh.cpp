// The refresh of balances, histories and prices, the periodic loop and the Bitcoin
// subscriptions: the work lives in the refresh orchestrator (state/refresh/).

#include "state/AppState.h"
#include "state/refresh/RefreshOrchestrator.h"

namespace qm {

QCoro::Task<void> AppState::refreshAll(CancellationToken token) {
    return m_refresh->refreshAll(std::move(token));
}

QCoro::Task<void> AppState::refreshBitcoin(CancellationToken token) {
    return m_refresh->refreshBitcoin(std::move(token));
}

QCoro::Task<void> AppState::runRefreshLoop(CancellationToken token) {
    return m_refresh->runRefreshLoop(std::move(token));
}

QCoro::Task<void> AppState::runBitcoinSubscriptions(CancellationToken token) {
    return m_refresh->runBitcoinSubscriptions(std::move(token));
}

} // namespace qm
