#include "ui/shell/WalletShell.h"

#include "core/storage/KeychainManager.h"
#include "platform/Error.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/signing/Signer.h"
#include "ui/shell/SidebarModel.h"
#include "ui/shell/StatusBarModel.h"
#include "ui/theme/SecretClipboard.h"
#include "ui/walletconnect/WalletConnectViewModel.h"

#include <QCoreApplication>
#include <QQmlEngine>

namespace qm {
namespace {

QPointer<AppState>& installed() {
    static QPointer<AppState> state;
    return state;
}

} // namespace

WalletShell::WalletShell(AppState& state, QObject* parent)
    : QObject(parent), m_state(&state), m_statusBar(new StatusBarModel(state, &Date::now, this)),
      m_sidebar(new SidebarModel(state, this)),
      m_walletConnect(new WalletConnectViewModel(state, this)) {
    for (auto signal : {&AppState::isOnboardingChanged, &AppState::isLockedChanged,
                        &AppState::isKeyringLockedChanged, &AppState::isOpeningChanged,
                        &AppState::walletChanged}) {
        connect(&state, signal, this, &WalletShell::faceChanged);
    }
    // Only a list write can make the selected index fall outside its list.
    for (auto signal : {&AppState::bitcoinAccountsChanged, &AppState::solanaAccountsChanged,
                        &AppState::selectedChainChanged, &AppState::selectedAccountIndexChanged}) {
        connect(&state, signal, this, &WalletShell::selectedAccountChanged);
    }
    connect(&state, &AppState::evmAccountsChanged, this, &WalletShell::selectedAccountChanged);
    connect(&state.attemptLedger(), &AttemptLedger::unreadableChanged, this,
            &WalletShell::unreadableAttemptsNoticeChanged);
    // A copied phrase does not outlast the unlocked wallet.
    connect(&state, &AppState::isLockedChanged, this, [this] {
        if (isLocked()) {
            SecretClipboard::shared().clearIfHeld();
        }
    });
}

WalletShell::~WalletShell() = default;

void WalletShell::install(AppState* state) {
    installed() = state;
}

AppState* WalletShell::installedState() {
    return installed();
}

WalletShell* WalletShell::create(QQmlEngine*, QJSEngine*) {
    AppState* state = installed();
    if (!state) {
        fatalError("WalletShell: no application state installed");
    }
    return new WalletShell(*state);
}

QObject* WalletShell::appStateObject() const {
    return m_state;
}

bool WalletShell::isOnboarding() const {
    return !m_state || m_state->isOnboarding();
}

bool WalletShell::isLocked() const {
    return !m_state || m_state->isLocked();
}

bool WalletShell::isKeyringLocked() const {
    return m_state && m_state->isKeyringLocked();
}

bool WalletShell::isKeyringAbsent() const {
    return m_state && m_state->isKeyringAbsent();
}

bool WalletShell::isOpening() const {
    return m_state && m_state->isOpening();
}

QString WalletShell::secretStorage() const {
    if (!m_state) {
        return {};
    }
    const Signer& signer = m_state->signer();
    if (!signer.usesFileStore()) {
        return QStringLiteral("Secret Service keyring");
    }
    return QStringLiteral("Files in ") + QString::fromStdString(signer.storageDir().string());
}

bool WalletShell::canExportBackup() const {
    return m_state && m_state->wallet().has_value() && !m_state->isLocked();
}

bool WalletShell::hasSelectedAccount() const {
    return m_state && m_state->selectedAccount().has_value();
}

QString WalletShell::selectedAccountId() const {
    const std::optional<Account> account = m_state ? m_state->selectedAccount() : std::nullopt;
    return account ? QString::fromStdString(account->id) : QString();
}

QString WalletShell::version() const {
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("1.0") : version;
}

QString WalletShell::unreadableAttemptsNotice() const {
    if (!m_state || !m_state->attemptLedger().unreadable()) {
        return {};
    }
    return qm::unreadableAttemptsNotice(*m_state->attemptLedger().unreadable());
}

void WalletShell::dismissUnreadableAttemptsNotice() {
    if (m_state) {
        m_state->attemptLedger().dismissUnreadable();
    }
}

void WalletShell::loadStoredState() {
    if (m_state) {
        m_state->showStoredState();
    }
}

} // namespace qm
