#include "ui/settings/BackupStores.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace qm {

QUrl backupFolderUrl() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) {
        return QUrl::fromLocalFile(documents);
    }
    return QUrl::fromLocalFile(QDir::homePath());
}

} // namespace qm
