#include "ui/onboarding/PasswordFormModel.h"

namespace qm {

PasswordFormModel::PasswordFormModel(QObject* parent)
    : StateBoundModel(parent), m_entry(new PasswordEntry(this)) {
    connect(m_entry, &PasswordEntry::passwordChanged, this, &PasswordFormModel::passwordChanged);
    connect(m_entry, &PasswordEntry::errorMessageChanged, this,
            &PasswordFormModel::errorMessageChanged);
    connect(m_entry, &PasswordEntry::busyChanged, this, &PasswordFormModel::busyChanged);
}

PasswordFormModel::~PasswordFormModel() {
    m_entry->wipe();
}

} // namespace qm
