#include "ui/settings/BackupStores.h"

#include "platform/Settings.h"
#include "state/AppState.h"

#include <stdexcept>

namespace qm {

WalletBackup::Stores backupStores(AppState* state, Settings* settings) {
    if (!state) {
        throw std::runtime_error("No application state");
    }
    return {state->keychain(), state->tokenStore(), settings ? *settings : Settings::standard()};
}

} // namespace qm
