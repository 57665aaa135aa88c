#pragma once
// Follows the wallet's unsettled transactions (AttemptLedger) while the wallet is open, also
// those a run left before the program was last quit: each is asked about on its chain now and
// then, and forgotten once the chain settles it: it can provably never land, or it landed for
// good and the user saw it leave. One that landed while the user was told it failed (or never
// heard) stays until a press of its account tells them (its own sheet follows it, another says
// it went through). Until then it keeps binding its account's next signing, and the history
// lists it as pending (unless the fetched history lists it). It wakes nobody while there is
// nothing to follow. GUI thread only.

#include "platform/async/CancellationToken.h"
#include "platform/async/TaskHandle.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class AppState;
class AttemptLedger;
struct SignedBroadcast;
struct UnsettledAttempt;

class AttemptWatch : public QObject {
    Q_OBJECT

public:
    AttemptWatch(AppState& state, AttemptLedger& ledger,
                 std::chrono::milliseconds interval = std::chrono::seconds(15));
    ~AttemptWatch() override;

    // Looks at every attempt every interval (the first an interval from now), while any is
    // left; a new attempt starts it again. stop() ends it (the wallet locked).
    void start();
    void stop();

private:
    void wake();
    QCoro::Task<void> follow(CancellationToken token);
    // One look at `attempt`: forgotten when the chain has settled it (see above).
    QCoro::Task<void> look(UnsettledAttempt attempt, CancellationToken token);

    QPointer<AppState> m_state;
    QPointer<AttemptLedger> m_ledger;
    std::chrono::milliseconds m_interval;
    bool m_active = false;
    std::optional<TaskHandle> m_task;
};

// A stored attempt made sendable again through the state's clients of its chain; none when the
// state cannot reach that chain now.
QCoro::Task<std::optional<SignedBroadcast>>
revivedAttempt(QPointer<AppState> state, UnsettledAttempt attempt, CancellationToken token);

} // namespace qm
