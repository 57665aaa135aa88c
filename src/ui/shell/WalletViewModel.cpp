#include "ui/shell/WalletViewModel.h"

#include "platform/async/TaskHandle.h"
#include "state/AppState.h"
#include "ui/shell/WalletShell.h"

#include <QPointer>

namespace qm {
namespace {

QCoro::Task<void> nothing() {
    co_return;
}

} // namespace

WalletViewModel::WalletViewModel(QObject* parent) : QObject(parent) {}

void WalletViewModel::setIsRefreshing(bool refreshing) {
    if (m_isRefreshing != refreshing) {
        m_isRefreshing = refreshing;
        emit isRefreshingChanged();
    }
}

void WalletViewModel::setLastRefresh(std::optional<Date> date) {
    if (m_lastRefresh != date) {
        m_lastRefresh = date;
        emit lastRefreshChanged();
    }
}

void WalletViewModel::setErrorMessage(std::optional<QString> message) {
    if (m_errorMessage != message) {
        m_errorMessage = std::move(message);
        emit errorMessageChanged();
    }
}

QCoro::Task<void> WalletViewModel::refresh(AppState& state) {
    QPointer<AppState> guard(&state);
    // Built outside the co_await: gcc 12 destroys a lambda temporary inside one twice.
    std::function<QCoro::Task<void>()> refreshAll = [guard] {
        return guard ? guard->refreshAll() : nothing();
    };
    co_await refresh(std::move(refreshAll), &Date::now);
}

QCoro::Task<void> WalletViewModel::refresh(std::function<QCoro::Task<void>()> refreshAll,
                                           std::function<Date()> now) {
    QPointer<WalletViewModel> self(this);
    setIsRefreshing(true);
    setErrorMessage(std::nullopt);
    co_await refreshAll();
    if (!self) {
        co_return;
    }
    setLastRefresh(now());
    setIsRefreshing(false);
}

void WalletViewModel::startRefresh() {
    AppState* state = WalletShell::installedState();
    if (!state) {
        return;
    }
    QPointer<AppState> guard(state);
    TaskHandle::spawn(this, [this, guard](CancellationToken) -> QCoro::Task<void> {
        return guard ? refresh(*guard) : nothing();
    });
}

} // namespace qm
