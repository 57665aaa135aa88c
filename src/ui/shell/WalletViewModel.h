#pragma once
// The portfolio's own view of a full refresh: whether the refresh it started runs and when
// the last one it started ended. Independent of the state's flags, which the loop and the
// status bar also move.

#include "core/model/Date.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class AppState;

class WalletViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)
    Q_PROPERTY(bool hasLastRefresh READ hasLastRefresh NOTIFY lastRefreshChanged)
    // Empty while there is no message.
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY errorMessageChanged)

public:
    explicit WalletViewModel(QObject* parent = nullptr);

    bool isRefreshing() const { return m_isRefreshing; }
    void setIsRefreshing(bool refreshing);
    const std::optional<Date>& lastRefresh() const { return m_lastRefresh; }
    bool hasLastRefresh() const { return m_lastRefresh.has_value(); }
    void setLastRefresh(std::optional<Date> date);
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    void setErrorMessage(std::optional<QString> message);

    // Marks the model refreshing, clears the message, awaits the state's full refresh, then
    // records the end time. Never throws.
    QCoro::Task<void> refresh(AppState& state);
    // The same around any refresh (tests pass their own).
    QCoro::Task<void> refresh(std::function<QCoro::Task<void>()> refreshAll,
                              std::function<Date()> now);

    // From QML: refreshes the window's state, kept by nobody.
    Q_INVOKABLE void startRefresh();

signals:
    void isRefreshingChanged();
    void lastRefreshChanged();
    void errorMessageChanged();

private:
    bool m_isRefreshing = false;
    std::optional<Date> m_lastRefresh;
    std::optional<QString> m_errorMessage;
};

} // namespace qm
