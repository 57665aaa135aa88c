#pragma once
// The Security tab's one action of its own: "Delete Wallet". It runs the application
// state's full reset (every stored item of the wallet removed, the refresh and the Bitcoin
// subscriptions stopped, the master key forgotten) and drops the Electrum connection that
// carries the wallet's address subscriptions, so nothing of the deleted wallet keeps running,
// stays on disk or stays known to a server; the window then follows the state to onboarding.

#include "ui/onboarding/StateBoundModel.h"

#include <QtQml/qqmlregistration.h>
#include <qcoro/qcorotask.h>

namespace qm {

class SecuritySettingsViewModel : public StateBoundModel {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit SecuritySettingsViewModel(QObject* parent = nullptr);

    // The confirmed "Delete": never throws; storage failures are left to the reset, which
    // still clears the state in memory.
    Q_INVOKABLE void deleteWallet();

private:
    QCoro::Task<void> deleteFrom(AppState* state);
};

} // namespace qm
