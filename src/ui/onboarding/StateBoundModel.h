#pragma once
// The base of the onboarding, lock and backup view models: the application state they act
// on, and the way their long steps (awaited on the signing worker) report their end.

#include <QObject>
#include <QPointer>
#include <functional>
#include <qcoro/qcorotask.h>

namespace qm {

class AppState;

class StateBoundModel : public QObject {
    Q_OBJECT
    // The state to act on; unset, the window's installed state.
    Q_PROPERTY(QObject* appState READ appStateObject WRITE setAppStateObject NOTIFY appStateChanged)

public:
    explicit StateBoundModel(QObject* parent = nullptr);

    QObject* appStateObject() const;
    void setAppStateObject(QObject* state);
    void setAppState(AppState* state);
    // The state, or none when neither one was set nor one is installed.
    AppState* appState() const;

signals:
    void appStateChanged();
    // The state's unsettled transactions changed (its attempt ledger): a review that names an
    // earlier one reads it again.
    void attemptsChanged();

protected:
    // Awaits `step` (already running: the window keeps drawing its busy state meanwhile),
    // then calls `then` unless the model has gone in the meantime.
    QCoro::Task<void> afterStep(QCoro::Task<void> step, std::function<void()> then);

private:
    // Follows the ledger of the state now bound.
    void followAttempts();

    QPointer<AppState> m_state;
    QMetaObject::Connection m_attempts;
};

} // namespace qm
