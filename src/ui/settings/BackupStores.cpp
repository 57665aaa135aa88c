#include "ui/settings/BackupStores.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace qm {
namespace {

// GUI thread only, like the dialogs.
QString& lastFolder() {
    static QString folder;
    return folder;
}

} // namespace

QUrl backupFolderUrl() {
    if (!lastFolder().isEmpty() && QFileInfo(lastFolder()).isDir()) {
        return QUrl::fromLocalFile(lastFolder());
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) {
        return QUrl::fromLocalFile(documents);
    }
    return QUrl::fromLocalFile(QDir::homePath());
}

void rememberBackupFolder(const QString& folder) {
    lastFolder() = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

} // namespace qm
