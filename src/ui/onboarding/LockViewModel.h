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

    // Unlocks with the typed password, on the spot. A failure shows its text ("Incorrect
    // password" for a wrong one) and empties the password (`passwordCleared`).
    void unlock();
    // The Unlock button and Return: busy flag and cleared error first, then, once the window
    // has drawn them, the unlock; `finished` follows.
    Q_INVOKABLE void submit();
    // The confirmed "Crea nuovo wallet": deletes the stored wallet; onboarding follows.
    Q_INVOKABLE void resetWallet();

signals:
    // The field must be emptied (after a failed attempt).
    void passwordCleared();

private:
    void finishUnlock();
};

} // namespace qm
