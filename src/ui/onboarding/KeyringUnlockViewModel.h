#pragma once
// The "keyring is locked" face: the keyring's own unlock prompt, then the stored wallet read
// again (the lock screen or onboarding follows); "Try Again" reads again without a prompt, for
// a keyring unlocked elsewhere. The prompt waits on the user on a thread of its own, so the
// signing worker and the window go on meanwhile; a model that goes away dismisses it.

#include "ui/onboarding/StateBoundModel.h"

#include <QString>
#include <QtQml/qqmlregistration.h>
#include <qcoro/qcorotask.h>
#include <stop_token>

namespace qm {

class KeyringUnlockViewModel : public StateBoundModel {
    Q_OBJECT
    QML_ELEMENT
    // True while the prompt is open.
    Q_PROPERTY(bool isUnlocking READ isUnlocking NOTIFY unlockingChanged)
    // Why the keyring is still locked after a prompt; empty otherwise.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY unlockingChanged)

public:
    explicit KeyringUnlockViewModel(QObject* parent = nullptr);
    // Dismisses a prompt still open.
    ~KeyringUnlockViewModel() override;

    bool isUnlocking() const { return m_unlocking; }
    QString errorMessage() const { return m_error; }

    // The prompt, then, once the keyring opened, the stored state read again. Nothing while
    // a prompt is open.
    QCoro::Task<void> unlockKeyring();
    // "Unlock Keyring": the above.
    Q_INVOKABLE void unlock();
    // "Try Again": the keyring probed and the stored state read again, no prompt.
    Q_INVOKABLE void tryAgain();
    // "Restore into Files...", while the keyring that holds the wallet is not running: the
    // onboarding that restores the phrase or a backup into files (AppState::restoreIntoFiles).
    Q_INVOKABLE void restoreIntoFiles();

signals:
    void unlockingChanged();

private:
    void setUnlocking(bool unlocking, QString error);

    std::stop_source m_stop;
    bool m_unlocking = false;
    QString m_error;
};

} // namespace qm
