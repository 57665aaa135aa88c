#pragma once
// Where the backup sheets' file dialogs start.

#include <QUrl>

namespace qm {

// Where the backup file dialogs start: the user's documents folder, or the home folder when
// there is none.
QUrl backupFolderUrl();

} // namespace qm
