#pragma once
// The lock screen's state: the typed password (kept here, never in QML), the busy flag and
// the error line; unlocking with the password and, for a forgotten one, deleting the wallet.
// A keyring locked meanwhile (a screen locker) is said to be locked, with its own unlock
// prompt on offer, never taken for a wallet that is gone.

#include "ui/onboarding/PasswordFormModel.h"

#include <QtQml/qqmlregistration.h>
#include <stop_token>

namespace qm {

class LockViewModel : public PasswordFormModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isUnlocking READ isBusy NOTIFY busyChanged)
    // The last attempt found the keyring locked: "Unlock Keyring" is offered.
    Q_PROPERTY(bool keyringLocked READ keyringLocked NOTIFY keyringChanged)
    // The keyring's unlock prompt is open, or the wallet is being deleted.
    Q_PROPERTY(bool isWaitingForKeyring READ isWaitingForKeyring NOTIFY keyringChanged)

public:
    explicit LockViewModel(QObject* parent = nullptr);
    // Dismisses a prompt still open.
    ~LockViewModel() override;

    bool isUnlocking() const { return isBusy(); }
    bool keyringLocked() const { return m_keyringLocked; }
    bool isWaitingForKeyring() const { return m_waiting; }

    // Unlocks with the typed password: busy and the error cleared at once, the seed opened on
    // the signing worker. The password is wiped either way; a failure shows its text
    // ("Incorrect password" for a wrong one) and says so (`passwordCleared`).
    QCoro::Task<void> unlock();
    // The Unlock button and Return: the unlock above, then `finished`.
    Q_INVOKABLE void submit();
    // The keyring's own unlock prompt; once it opened, the password is asked for again.
    QCoro::Task<void> openKeyring();
    Q_INVOKABLE void unlockKeyring();
    // The confirmed "Crea nuovo wallet": deletes the stored wallet (the keyring that holds
    // it unlocked first); then what is left shows, onboarding or the lock screen of a wallet
    // the deletion left (AppState::resetWallet). A refusal or a failure shows in the error line,
    // and a keyring left locked offers its unlock (keyringLocked).
    QCoro::Task<void> reset();
    Q_INVOKABLE void resetWallet();

signals:
    // The field must be emptied (after a failed attempt).
    void passwordCleared();
    void keyringChanged();

private:
    void setKeyringState(bool locked, bool waiting);

    std::stop_source m_stop;
    bool m_keyringLocked = false;
    bool m_waiting = false;
};

} // namespace qm
