#include "ui/onboarding/StateBoundModel.h"

#include "state/AppState.h"
#include "ui/shell/WalletShell.h"

#include <utility>

namespace qm {

StateBoundModel::StateBoundModel(QObject* parent) : QObject(parent) {}

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
    emit appStateChanged();
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
