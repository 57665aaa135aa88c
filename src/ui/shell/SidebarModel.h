#pragma once
// The sidebar's content: the five account sections in chain order with the selection, and
// the network panel's line per chain. Rebuilt whenever a list, the selection or a pool changes.

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace qm {

class AppState;

class SidebarModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The window's shell provides it")
    // One map per chain: title ("Bitcoin" ...), chain (0 to 4), items (maps of id, name,
    // balance, address, chain, isSelected).
    Q_PROPERTY(QVariantList sections READ sections NOTIFY sectionsChanged)
    // One map per chain: chain, ticker, host, color, word, glowRadius, tooltip.
    Q_PROPERTY(QVariantList networkLines READ networkLines NOTIFY networkLinesChanged)
    // The connected applications (peerName, peerIcon, topic); empty until WalletConnect is there.
    Q_PROPERTY(QVariantList dappSessions READ dappSessions NOTIFY dappSessionsChanged)

public:
    explicit SidebarModel(AppState& state, QObject* parent = nullptr);

    QVariantList sections() const;
    QVariantList networkLines() const;
    QVariantList dappSessions() const { return {}; }

    Q_INVOKABLE void selectAccount(const QString& id);

signals:
    void sectionsChanged();
    void networkLinesChanged();
    void dappSessionsChanged();

private:
    QPointer<AppState> m_state;
};

} // namespace qm
