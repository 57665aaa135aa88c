#include "ui/settings/SecuritySettingsViewModel.h"

#include "services/connections/NetworkManager.h"
#include "state/AppState.h"

#include <QPointer>

namespace qm {

SecuritySettingsViewModel::SecuritySettingsViewModel(QObject* parent) : StateBoundModel(parent) {}

void SecuritySettingsViewModel::deleteWallet() {
    if (AppState* state = appState()) {
        deleteFrom(state);
    }
}

QCoro::Task<void> SecuritySettingsViewModel::deleteFrom(AppState* state) {
    const QPointer<AppState> guard(state);
    co_await state->resetWallet();
    // The live Electrum connection still carries the deleted wallet's address
    // subscriptions: the server would go on telling us (and knowing) about them.
    if (guard) {
        guard->networkManager().disconnectElectrum();
    }
}

} // namespace qm
