#pragma once
// The stores the backup sheets read and write.

#include "core/storage/WalletBackup.h"

#include <QUrl>

namespace qm {

class AppState;
class Settings;

// `state`'s keychain manager and token store, and `settings` (the user's own when null).
// Throws when there is no state to act on.
WalletBackup::Stores backupStores(AppState* state, Settings* settings);

// Where the backup file dialogs start: the user's documents folder, or the home folder when
// there is none.
QUrl backupFolderUrl();

} // namespace qm
