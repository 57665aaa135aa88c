#pragma once
// What the application state needs of the WalletConnect view model: one object for the
// life of the process, set up again after every unlock. The WalletConnect feature derives
// its view model from this class; until it is there, setting up does nothing.

#include <QObject>
#include <qcoro/qcorotask.h>

namespace qm {

class WalletConnectSetup : public QObject {
    Q_OBJECT

public:
    explicit WalletConnectSetup(QObject* parent = nullptr);
    ~WalletConnectSetup() override;

    // Builds a new session manager with its relay connection in place of any previous one,
    // connects and loads the stored sessions. Never throws.
    virtual QCoro::Task<void> setup();
};

} // namespace qm
