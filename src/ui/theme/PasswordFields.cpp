#include "ui/theme/PasswordFields.h"

#include "ui/theme/PasswordEntry.h"

namespace qm {

void PasswordFields::wipe(QObject* field) const {
    PasswordEntry::wipeField(field);
}

} // namespace qm
