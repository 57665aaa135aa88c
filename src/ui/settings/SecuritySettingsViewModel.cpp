#include "ui/settings/SecuritySettingsViewModel.h"

#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "ui/onboarding/KeyringRefusal.h"

#include <QPointer>
#include <exception>
#include <utility>

namespace qm {

SecuritySettingsViewModel::SecuritySettingsViewModel(QObject* parent) : StateBoundModel(parent) {}

SecuritySettingsViewModel::~SecuritySettingsViewModel() {
    m_stop.request_stop();
}

void SecuritySettingsViewModel::setDeleting(bool deleting, QString error) {
    if (m_deleting != deleting || m_error != error) {
        m_deleting = deleting;
        m_error = std::move(error);
        emit deletingChanged();
    }
}

void SecuritySettingsViewModel::deleteWallet() {
    if (AppState* state = appState(); state && !m_deleting) {
        deleteFrom(state);
    }
}

QCoro::Task<void> SecuritySettingsViewModel::deleteFrom(AppState* state) {
    const QPointer<AppState> guard(state);
    const QPointer<SecuritySettingsViewModel> self(this);
    setDeleting(true, QString());
    QString failure;
    try {
        QCoro::Task<void> resetting = state->resetWallet(m_stop.get_token());
        co_await std::move(resetting);
    } catch (const std::exception& error) {
        failure = walletDeletionFailureText(error);
    }
    // The live Electrum connection still carries the deleted wallet's address
    // subscriptions: the server would go on telling us (and knowing) about them.
    if (guard && failure.isEmpty()) {
        guard->networkManager().disconnectElectrum();
    }
    if (self) {
        setDeleting(false, failure);
    }
}

} // namespace qm
