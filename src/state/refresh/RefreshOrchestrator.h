#pragma once
// Keeps the open wallet current: the ten-job full refresh, the Bitcoin-only refresh, the
// periodic loop, and the Electrum subscriptions whose notifications start a Bitcoin-only
// refresh after a quiet second. Holds the handles of those background jobs.
//
// Lives with its AppState (a child of it) on the GUI thread. The jobs run side by side as
// coroutines and are awaited together; each checks the lock flag and its token before every
// request and every write, so a lock or a cancelled task stops them at their next step.

#include "platform/async/CancellationToken.h"
#include "platform/async/TaskHandle.h"
#include "services/bitcoin/ElectrumResults.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class AppState;

class RefreshOrchestrator : public QObject {
    Q_OBJECT

public:
    struct Periods {
        // The wait between the end of one loop refresh and the start of the next.
        std::chrono::milliseconds loop{15'000};
        // The quiet time after the last Bitcoin notification of a burst.
        std::chrono::milliseconds debounce{1'000};
    };

    explicit RefreshOrchestrator(AppState& state);

    const Periods& periods() const { return m_periods; }
    // Tests shorten them; takes effect at the next wait.
    void setPeriods(Periods periods) { m_periods = periods; }

    // Tests of other parts that count network traffic switch the refresh off: every refresh
    // and subscription set-up then returns at once, touching nothing.
    void setSuspendedForTesting(bool suspended) { m_suspended = suspended; }

    // Every balance, history and price: ten jobs started in a fixed order and awaited
    // together; isRefreshing meanwhile, lastRefresh stamped at the end (also when cancelled).
    QCoro::Task<void> refreshAll(CancellationToken token);
    // The two Bitcoin jobs only; touches neither isRefreshing nor lastRefresh.
    QCoro::Task<void> refreshBitcoin(CancellationToken token);
    // Waits a period, refreshes, and again, until the token is cancelled.
    QCoro::Task<void> runRefreshLoop(CancellationToken token);
    // Installs the notification handlers on the current Electrum client and subscribes the
    // block headers and every Bitcoin address; btcSubscriptionsReady once all are sent.
    QCoro::Task<void> runBitcoinSubscriptions(CancellationToken token);

    // A notified script hash counts once the subscriptions are ready; a header records the
    // new tip. Both then (re)start the debounce. Ignored while the wallet is locked or after
    // it was deleted.
    void handleScriptHashNotification();
    void handleHeaderNotification(const ElectrumBlockHeader& header);
    // Cancels the pending debounce and starts a new one, which then replaces the active
    // refresh by a Bitcoin-only refresh.
    void scheduleBitcoinRefresh();

    // --- The session's background jobs, spawned with the state as their owner -------------
    // Replaces the immediate full refresh (the previous one is not cancelled: it stops at its
    // next check of the lock or runs to its end), then restarts the loop and the
    // subscription task.
    void startSessionTasks();
    // Cancels the loop and the subscription task.
    void stopBackgroundTasks();
    // Cancels the immediate refresh too (lock, reset).
    void stopSessionTasks();
    // Replaces the subscription task with a new one; btcSubscriptionsReady reads false until
    // it has subscribed everything.
    void startBitcoinSubscriptions();
    // Cancels every job, the pending debounce included (the state is going away).
    void cancelAll();

    // The periodic loop; the immediate refresh (creation, unlock, or the debounce's
    // Bitcoin-only one); the subscription set-up; the pending debounce.
    const std::optional<TaskHandle>& refreshTask() const { return m_refreshTask; }
    const std::optional<TaskHandle>& activeRefreshTask() const { return m_activeRefreshTask; }
    const std::optional<TaskHandle>& btcSubscriptionTask() const { return m_btcSubscriptionTask; }
    const std::optional<TaskHandle>& btcNotificationDebounce() const {
        return m_btcNotificationDebounce;
    }

private:
    QCoro::Task<void> debounce(CancellationToken token);
    bool acceptsNotifications() const;

    QPointer<AppState> m_state;
    Periods m_periods;
    bool m_suspended = false;
    std::optional<TaskHandle> m_refreshTask;
    std::optional<TaskHandle> m_activeRefreshTask;
    std::optional<TaskHandle> m_btcSubscriptionTask;
    std::optional<TaskHandle> m_btcNotificationDebounce;
};

} // namespace qm
