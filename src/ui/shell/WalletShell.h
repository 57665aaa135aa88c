#pragma once
// What the window's QML reads of the application state: the face to show (onboarding, lock
// screen or main view), the menu's enabled states, the detail router's choice, and the
// status bar and sidebar models. The program installs its one AppState before loading QML.
// When the wallet locks, a recovery phrase copied to the clipboard is cleared from it.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <memory>

class QQmlEngine;
class QJSEngine;

namespace qm {

class AppState;
class SidebarModel;
class StatusBarModel;
class WalletConnectViewModel;

class WalletShell : public QObject {
    Q_OBJECT
    Q_MOC_INCLUDE("ui/walletconnect/WalletConnectViewModel.h")
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QObject* appState READ appStateObject CONSTANT)
    Q_PROPERTY(bool isOnboarding READ isOnboarding NOTIFY faceChanged)
    Q_PROPERTY(bool isLocked READ isLocked NOTIFY faceChanged)
    // No wallet found, but a locked keyring may hold one: the face that asks to unlock it.
    Q_PROPERTY(bool isKeyringLocked READ isKeyringLocked NOTIFY faceChanged)
    // Of that face: the keyring that holds the wallet is not running (start it, try again).
    Q_PROPERTY(bool isKeyringAbsent READ isKeyringAbsent NOTIFY faceChanged)
    // The program's first look at what is stored runs (the keyring is being probed).
    Q_PROPERTY(bool isOpening READ isOpening NOTIFY faceChanged)
    // Where the wallet's secrets are kept: "Secret Service keyring", or "Files in " and the
    // folder.
    Q_PROPERTY(QString secretStorage READ secretStorage NOTIFY faceChanged)
    // "Export Backup..." is enabled only with a wallet that is unlocked.
    Q_PROPERTY(bool canExportBackup READ canExportBackup NOTIFY faceChanged)
    Q_PROPERTY(bool hasSelectedAccount READ hasSelectedAccount NOTIFY selectedAccountChanged)
    // The account whose screen shows; empty while the portfolio does.
    Q_PROPERTY(QString selectedAccountId READ selectedAccountId NOTIFY selectedAccountChanged)
    Q_PROPERTY(StatusBarModel* statusBar READ statusBar CONSTANT)
    Q_PROPERTY(SidebarModel* sidebar READ sidebar CONSTANT)
    // The WalletConnect sheets, the relay and the connected dApps.
    Q_PROPERTY(WalletConnectViewModel* walletConnect READ walletConnect CONSTANT)
    // The program's version, "1.0" when it has none.
    Q_PROPERTY(QString version READ version CONSTANT)
    // What the unlock found unreadable in the record of the transactions sent, said until
    // dismissed; empty when there is nothing to say.
    Q_PROPERTY(QString unreadableAttemptsNotice READ unreadableAttemptsNotice NOTIFY
                   unreadableAttemptsNoticeChanged)

public:
    explicit WalletShell(AppState& state, QObject* parent = nullptr);
    ~WalletShell() override;

    // Makes `state` the one the window shows; call before the QML engine loads the window.
    static void install(AppState* state);
    static AppState* installedState();
    // QML's singleton factory: the shell of the installed state (it stops the process when
    // none is installed, a programming error).
    static WalletShell* create(QQmlEngine* engine, QJSEngine* script);

    QObject* appStateObject() const;
    bool isOnboarding() const;
    bool isLocked() const;
    bool isKeyringLocked() const;
    bool isKeyringAbsent() const;
    bool isOpening() const;
    QString secretStorage() const;
    bool canExportBackup() const;
    bool hasSelectedAccount() const;
    QString selectedAccountId() const;
    StatusBarModel* statusBar() const { return m_statusBar; }
    SidebarModel* sidebar() const { return m_sidebar; }
    WalletConnectViewModel* walletConnect() const { return m_walletConnect; }
    QString version() const;
    QString unreadableAttemptsNotice() const;
    Q_INVOKABLE void dismissUnreadableAttemptsNotice();

    // The root view's appear action: settles onboarding and lock from what is stored (at the
    // program's start without waiting for the keyring's probe).
    Q_INVOKABLE void loadStoredState();

signals:
    void faceChanged();
    void selectedAccountChanged();
    void unreadableAttemptsNoticeChanged();

private:
    QPointer<AppState> m_state;
    StatusBarModel* m_statusBar;
    SidebarModel* m_sidebar;
    WalletConnectViewModel* m_walletConnect;
};

} // namespace qm
