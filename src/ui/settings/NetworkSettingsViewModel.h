#pragma once
// The Network tab: the Electrum server form (host, port, TLS) that puts a server of the
// user's own in front of the pool, the reconnect actions, and what the tab shows of the
// network manager's pools (the active endpoints, connected flags and status texts). It owns
// no connection: everything it shows is read from the NetworkManager and follows it.

#include "ui/onboarding/StateBoundModel.h"

#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>
#include <cstdint>
#include <optional>

namespace qm {

class NetworkManager;

class NetworkSettingsViewModel : public StateBoundModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString electrumHost READ electrumHost WRITE setElectrumHost NOTIFY formChanged)
    Q_PROPERTY(QString electrumPort READ electrumPort WRITE setElectrumPort NOTIFY formChanged)
    Q_PROPERTY(bool electrumTLS READ electrumTLS WRITE setElectrumTLS NOTIFY formChanged)
    // Why the form was not applied; empty while there is nothing to say.
    Q_PROPERTY(QString hostError READ hostError NOTIFY formErrorChanged)
    Q_PROPERTY(QString portError READ portError NOTIFY formErrorChanged)
    Q_PROPERTY(bool electrumConnected READ electrumConnected NOTIFY electrumChanged)
    Q_PROPERTY(QString electrumStatus READ electrumStatus NOTIFY electrumChanged)
    // Ethereum, Arbitrum, Polygon and Solana, in that order: { chain (index), name,
    // connected, status, endpoints: [{ text, active }] }.
    Q_PROPERTY(QVariantList rpcPools READ rpcPools NOTIFY rpcPoolsChanged)

public:
    explicit NetworkSettingsViewModel(QObject* parent = nullptr);

    QString electrumHost() const { return m_host; }
    void setElectrumHost(const QString& host);
    QString electrumPort() const { return m_port; }
    void setElectrumPort(const QString& port);
    bool electrumTLS() const { return m_useTLS; }
    void setElectrumTLS(bool useTLS);
    QString hostError() const { return m_hostError; }
    QString portError() const { return m_portError; }

    bool electrumConnected() const;
    QString electrumStatus() const;
    QVariantList rpcPools() const;

    // The tab comes on screen: the form shows the active Electrum server.
    Q_INVOKABLE void loadCurrentServer();
    // "Apply": checks the form and, when it is usable, puts the server at the head of the
    // pool as the active one and drops the current connection (it does not connect). False,
    // with the field's message set and the pool untouched, when the form is not usable.
    Q_INVOKABLE bool applyElectrumServer();
    // "Reconnect": starts a connection pass that runs on after the tab is gone; its outcome
    // shows only in the status texts.
    Q_INVOKABLE void reconnectElectrum();
    // "Reconnect" of a JSON-RPC section; `chain` is the chain's index (1 to 4).
    Q_INVOKABLE void reconnectRPC(int chain);

    // A port as typed: decimal digits with an optional leading "+", from 1 to 65535.
    static std::optional<std::uint16_t> parsePort(const QString& text);
    // The message for a host that cannot name a server (empty, or with blanks or control
    // characters in it); empty for a usable one.
    static QString hostProblem(const QString& host);

signals:
    void formChanged();
    void formErrorChanged();
    void electrumChanged();
    void rpcPoolsChanged();

private:
    NetworkManager* manager() const;
    void watchManager();
    void setErrors(const QString& hostError, const QString& portError);

    QString m_host;
    QString m_port;
    bool m_useTLS = true;
    QString m_hostError;
    QString m_portError;
    NetworkManager* m_watched = nullptr;
};

} // namespace qm
