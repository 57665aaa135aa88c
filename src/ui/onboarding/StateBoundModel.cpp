#include "ui/onboarding/StateBoundModel.h"

#include "state/AppState.h"
#include "ui/shell/WalletShell.h"

#include <QTimer>
#include <utility>

namespace qm {

namespace {
// Three frames at 60 Hz: enough for the render loop to show what the last change set.
constexpr int paintDelayMilliseconds = 50;
} // namespace

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

void StateBoundModel::runAfterPaint(std::function<void()> step) {
    QTimer::singleShot(paintDelayMilliseconds, this, std::move(step));
}

} // namespace qm
