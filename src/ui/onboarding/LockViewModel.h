#pragma once
// The lock screen's state: the typed password (kept here, never in QML), the busy flag and
// the error line; unlocking with the password and, for a forgotten one, deleting the wallet.

#include "ui/onboarding/PasswordFormModel.h"

#include <QtQml/qqmlregistration.h>

namespace qm {

class LockViewModel : public PasswordFormModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isUnlocking READ isBusy NOTIFY busyChanged)

public:
    explicit LockViewModel(QObject* parent = nullptr);

    bool isUnlocking() const { return isBusy(); }

    // Unlocks with the typed password: busy and the error cleared at once, the seed opened on
    // the signing worker. The password is wiped either way; a failure shows its text
    // ("Incorrect password" for a wrong one) and says so (`passwordCleared`).
    QCoro::Task<void> unlock();
    // The Unlock button and Return: the unlock above, then `finished`.
    Q_INVOKABLE void submit();
    // The confirmed "Crea nuovo wallet": deletes the stored wallet (on the signing worker);
    // onboarding follows.
    Q_INVOKABLE void resetWallet();

signals:
    // The field must be emptied (after a failed attempt).
    void passwordCleared();
};

} // namespace qm
