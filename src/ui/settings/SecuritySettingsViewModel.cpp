#include "ui/settings/SecuritySettingsViewModel.h"

#include "services/connections/NetworkManager.h"
#include "state/AppState.h"

namespace qm {

SecuritySettingsViewModel::SecuritySettingsViewModel(QObject* parent) : StateBoundModel(parent) {}

void SecuritySettingsViewModel::deleteWallet() {
    if (AppState* state = appState()) {
        state->resetWallet();
        // The live Electrum connection still carries the deleted wallet's address
        // subscriptions: the server would go on telling us (and knowing) about them.
        state->networkManager().disconnectElectrum();
    }
}

} // namespace qm
