#pragma once
// Where the backup sheets' file dialogs start.

#include <QString>
#include <QUrl>

namespace qm {

// Where the backup file dialogs start: the folder of the last backup saved or opened in this
// run while it still exists, else the user's documents folder, else the home folder. The
// folder is not stored: where the backups are kept stays off the disk.
QUrl backupFolderUrl();
// A backup was saved to, or read from, a file in `folder`.
void rememberBackupFolder(const QString& folder);

} // namespace qm
