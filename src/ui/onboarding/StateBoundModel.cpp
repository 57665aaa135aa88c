#include "ui/onboarding/StateBoundModel.h"

#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "ui/shell/WalletShell.h"

#include <utility>

namespace qm {

StateBoundModel::StateBoundModel(QObject* parent) : QObject(parent) {
    followAttempts();
}

QObject* StateBoundModel::appStateObject() const {
    return appState();
}

void StateBoundModel::setAppStateObject(QObject* state) {
    setAppState(qobject_cast<AppState*>(state));
}

void StateBoundModel::setAppState(AppState* state) {
    if (m_state == state) {
        return;
    }
    m_state = state;
    followAttempts();
    emit appStateChanged();
}

void StateBoundModel::followAttempts() {
    disconnect(m_attempts);
    if (AppState* state = appState()) {
        m_attempts = connect(&state->attemptLedger(), &AttemptLedger::changed, this,
                             &StateBoundModel::attemptsChanged);
    }
}

AppState* StateBoundModel::appState() const {
    if (m_state) {
        return m_state.data();
    }
    return WalletShell::installedState();
}

QCoro::Task<void> StateBoundModel::afterStep(QCoro::Task<void> step, std::function<void()> then) {
    const QPointer<StateBoundModel> self(this);
    co_await std::move(step);
    if (self) {
        then();
    }
}

} // namespace qm
