#include "ui/settings/BackupStores.h"

#include "platform/Settings.h"
#include "state/AppState.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <stdexcept>

namespace qm {

WalletBackup::Stores backupStores(AppState* state, Settings* settings) {
    if (!state) {
        throw std::runtime_error("No application state");
    }
    return {state->keychain(), state->tokenStore(), settings ? *settings : Settings::standard()};
}

QUrl backupFolderUrl() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) {
        return QUrl::fromLocalFile(documents);
    }
    return QUrl::fromLocalFile(QDir::homePath());
}

} // namespace qm
