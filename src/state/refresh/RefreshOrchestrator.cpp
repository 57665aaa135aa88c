#include "state/refresh/RefreshOrchestrator.h"

#include "platform/async/CancellableSleep.h"
#include "platform/async/TaskHandle.h"
#include "platform/async/WhenAll.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/refresh/BitcoinHistory.h"
#include "state/refresh/BitcoinRefresh.h"
#include "state/refresh/EVMRefresh.h"
#include "state/refresh/ExplorerRefresh.h"
#include "state/refresh/PriceRefresh.h"
#include "state/refresh/SolanaRefresh.h"

#include <QMetaObject>

namespace qm {

RefreshOrchestrator::RefreshOrchestrator(AppState& state) : QObject(&state), m_state(&state) {}

QCoro::Task<void> RefreshOrchestrator::refreshAll(CancellationToken token) {
    QPointer<AppState> state = m_state;
    if (!state || m_suspended) {
        co_return;
    }
    // No guard against a pass already running: a second call runs a second, whole pass.
    state->setIsRefreshing(true);
    const RefreshJob job{state, token};
    std::vector<QCoro::Task<void>> jobs;
    jobs.push_back(refreshBitcoinBalances(job));
    jobs.push_back(refreshBitcoinHistory(job));
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        jobs.push_back(refreshEVMBalances(job, chain));
    }
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        jobs.push_back(refreshExplorerHistory(job, chain));
    }
    jobs.push_back(refreshSolana(job));
    jobs.push_back(refreshPrices(job));
    try {
        co_await whenAll(std::move(jobs));
    } catch (const std::exception&) {
        // Jobs handle their own failures; nothing may keep isRefreshing set.
    }
    if (state) {
        state->setIsRefreshing(false);
        state->setLastRefresh(Date::now());
    }
}

QCoro::Task<void> RefreshOrchestrator::refreshBitcoin(CancellationToken token) {
    const RefreshJob job{m_state, token};
    if (!job.state || m_suspended) {
        co_return;
    }
    std::vector<QCoro::Task<void>> jobs;
    jobs.push_back(refreshBitcoinBalances(job));
    jobs.push_back(refreshBitcoinHistory(job));
    try {
        co_await whenAll(std::move(jobs));
    } catch (const std::exception&) {
    }
}

QCoro::Task<void> RefreshOrchestrator::runRefreshLoop(CancellationToken token) {
    QPointer<RefreshOrchestrator> self(this);
    while (self && !token.isCancelled()) {
        co_await cancellableSleep(self->m_periods.loop, token);
        if (!self || token.isCancelled()) {
            co_return;
        }
        co_await self->refreshAll(token);
    }
}

QCoro::Task<void> RefreshOrchestrator::runBitcoinSubscriptions(CancellationToken token) {
    QPointer<RefreshOrchestrator> self(this);
    QPointer<AppState> state = m_state;
    if (!state || m_suspended) {
        co_return;
    }
    const std::shared_ptr<ElectrumClient> client =
        co_await state->networkManager().connectedElectrumClient(token);
    if (!client || !state || token.isCancelled()) {
        co_return;
    }
    // The client calls these while it reads a line: the work moves to a later turn.
    client->onScriptHashNotification = [self](const std::string&,
                                              const std::optional<std::string>&) {
        if (self) {
            QMetaObject::invokeMethod(
                self.data(), [self] { self->handleScriptHashNotification(); },
                Qt::QueuedConnection);
        }
    };
    client->onHeaderNotification = [self](const ElectrumBlockHeader& header) {
        if (self) {
            QMetaObject::invokeMethod(
                self.data(), [self, header] { self->handleHeaderNotification(header); },
                Qt::QueuedConnection);
        }
    };
    try {
        co_await untilCancelled(client->subscribeHeaders(), token);
    } catch (const std::exception&) {
        // The subscription goes on without the tip.
    }
    if (!state || token.isCancelled()) {
        co_return;
    }
    std::vector<std::string> scriptHashes;
    for (const BTCAccountState& account : state->bitcoinAccounts()) {
        for (const BTCAddressInfo& address : account.addresses) {
            scriptHashes.push_back(address.scriptHash);
        }
    }
    for (const std::string& scriptHash : scriptHashes) {
        if (!state || token.isCancelled()) {
            co_return;
        }
        try {
            const auto status = co_await untilCancelled(client->subscribe(scriptHash), token);
            if (!status) {
                co_return;
            }
        } catch (const std::exception&) {
            // The next address follows either way.
        }
    }
    if (state && !token.isCancelled()) {
        state->setBtcSubscriptionsReady(true);
    }
}

// Notifications count only while Bitcoin accounts are open: the connection outlives a lock
// and a deleted wallet.
bool RefreshOrchestrator::acceptsNotifications() const {
    return m_state && !m_state->isLocked() && !m_state->bitcoinAccounts().empty();
}

void RefreshOrchestrator::handleScriptHashNotification() {
    if (!acceptsNotifications() || !m_state->btcSubscriptionsReady()) {
        return;
    }
    scheduleBitcoinRefresh();
}

void RefreshOrchestrator::handleHeaderNotification(const ElectrumBlockHeader& header) {
    if (!acceptsNotifications()) {
        return;
    }
    // A height no chain can have is not recorded; the refresh reads the tip itself.
    if (header.height >= 0 && header.height <= maxPlausibleBlockHeight) {
        m_state->setBtcBlockHeight(header.height);
    }
    scheduleBitcoinRefresh();
}

void RefreshOrchestrator::scheduleBitcoinRefresh() {
    if (!m_state) {
        return;
    }
    if (m_btcNotificationDebounce) {
        m_btcNotificationDebounce->cancel();
    }
    // The task's owner is the state, whose child this is: it never outlives it.
    m_btcNotificationDebounce = TaskHandle::spawn(
        m_state, [this](const CancellationToken& token) { return debounce(token); });
}

QCoro::Task<void> RefreshOrchestrator::debounce(CancellationToken token) {
    QPointer<RefreshOrchestrator> self(this);
    const bool elapsed = co_await cancellableSleep(m_periods.debounce, token);
    if (!elapsed || !self || token.isCancelled() || !self->acceptsNotifications()) {
        co_return;
    }
    if (self->m_activeRefreshTask) {
        self->m_activeRefreshTask->cancel();
    }
    RefreshOrchestrator* orchestrator = self;
    self->m_activeRefreshTask =
        TaskHandle::spawn(self->m_state, [orchestrator](const CancellationToken& t) {
            return orchestrator->refreshBitcoin(t);
        });
}

void RefreshOrchestrator::startSessionTasks() {
    m_activeRefreshTask = TaskHandle::spawn(
        m_state, [this](const CancellationToken& token) { return refreshAll(token); });
    stopBackgroundTasks();
    m_refreshTask = TaskHandle::spawn(
        m_state, [this](const CancellationToken& token) { return runRefreshLoop(token); });
    startBitcoinSubscriptions();
}

void RefreshOrchestrator::stopBackgroundTasks() {
    for (std::optional<TaskHandle>* task : {&m_refreshTask, &m_btcSubscriptionTask}) {
        if (*task) {
            (*task)->cancel();
            task->reset();
        }
    }
}

void RefreshOrchestrator::stopSessionTasks() {
    stopBackgroundTasks();
    if (m_activeRefreshTask) {
        m_activeRefreshTask->cancel();
        m_activeRefreshTask.reset();
    }
}

void RefreshOrchestrator::startBitcoinSubscriptions() {
    if (m_btcSubscriptionTask) {
        m_btcSubscriptionTask->cancel();
    }
    if (m_state) {
        m_state->setBtcSubscriptionsReady(false);
    }
    m_btcSubscriptionTask = TaskHandle::spawn(
        m_state, [this](const CancellationToken& token) { return runBitcoinSubscriptions(token); });
}

void RefreshOrchestrator::cancelAll() {
    for (const std::optional<TaskHandle>* task :
         {&m_refreshTask, &m_activeRefreshTask, &m_btcSubscriptionTask,
          &m_btcNotificationDebounce}) {
        if (*task) {
            (*task)->cancel();
        }
    }
}

} // namespace qm
