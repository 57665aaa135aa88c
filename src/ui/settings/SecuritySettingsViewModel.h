#pragma once
// The Security tab's one action of its own: "Delete Wallet". It runs the application
// state's full reset (the keyring that holds the wallet unlocked first; every stored item of
// the wallet removed, the refresh and the Bitcoin subscriptions stopped, the master key
// forgotten) and drops the Electrum connection that carries the wallet's address
// subscriptions, so nothing of the deleted wallet keeps running, stays on disk or stays known
// to a server; the window then follows the state to onboarding. A refusal (the keyring stayed
// locked) or a removal that left an item is said here, and the wallet stays.

#include "ui/onboarding/StateBoundModel.h"

#include <QString>
#include <QtQml/qqmlregistration.h>
#include <qcoro/qcorotask.h>
#include <stop_token>

namespace qm {

class SecuritySettingsViewModel : public StateBoundModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isDeleting READ isDeleting NOTIFY deletingChanged)
    // Why the wallet was not deleted; empty otherwise.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY deletingChanged)

public:
    explicit SecuritySettingsViewModel(QObject* parent = nullptr);
    // Dismisses the keyring's prompt if it is still open.
    ~SecuritySettingsViewModel() override;

    bool isDeleting() const { return m_deleting; }
    QString errorMessage() const { return m_error; }

    // The confirmed "Delete"; nothing while a deletion runs.
    Q_INVOKABLE void deleteWallet();
    QCoro::Task<void> deleteFrom(AppState* state);

signals:
    void deletingChanged();

private:
    void setDeleting(bool deleting, QString error);

    std::stop_source m_stop;
    bool m_deleting = false;
    QString m_error;
};

} // namespace qm
