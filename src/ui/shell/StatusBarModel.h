#pragma once
// The main window's status bar: the refresh button and its tooltip, the connection dots of
// the five chains and of the WalletConnect relay, and the lock button.

#include "core/model/Chain.h"
#include "ui/shell/RefreshHelpText.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace qm {

class AppState;

class StatusBarModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The window's shell provides it")
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY refreshChanged)
    Q_PROPERTY(QString refreshHelpText READ refreshHelpText NOTIFY refreshChanged)
    // One map per chain in chain order: label, color, glowRadius, tooltip.
    Q_PROPERTY(QVariantList chainDots READ chainDots NOTIFY connectionsChanged)
    Q_PROPERTY(QVariantMap relayDot READ relayDot NOTIFY connectionsChanged)

public:
    StatusBarModel(AppState& state, Clock clock, QObject* parent = nullptr);

    bool isRefreshing() const;
    QString refreshHelpText() const;
    QVariantList chainDots() const;
    QVariantMap relayDot() const;

    // Starts a full refresh of the state, kept by nobody; ignored while one runs.
    Q_INVOKABLE void refresh();
    Q_INVOKABLE void lock();
    // The help text reads the clock when it is asked for: the bar calls this while the help
    // is on screen, so "Last refresh: Ns ago" keeps counting. Notifies only when the text
    // changed since it was last told.
    Q_INVOKABLE void updateRefreshHelpText();

signals:
    void refreshChanged();
    void connectionsChanged();

private:
    QPointer<AppState> m_state;
    Clock m_clock;
    QString m_toldHelpText;
};

} // namespace qm
