#pragma once
// The sidebar's content: the five account sections in chain order, each a list model that
// follows its chain's accounts and the selection row by row, and the network panel's line
// per chain (rebuilt whenever a pool changes).

#include "core/model/Chain.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>
#include <array>

namespace qm {

class AppState;
class SidebarAccountList;

class SidebarModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The window's shell provides it")
    // One map per chain: title ("Bitcoin" ...), chain (0 to 4), items (the chain's
    // SidebarAccountList: roles accountId, name, balance, address, chain, isSelected).
    Q_PROPERTY(QVariantList sections READ sections CONSTANT)
    // One map per chain: chain, ticker, host, color, word, glowRadius, tooltip.
    Q_PROPERTY(QVariantList networkLines READ networkLines NOTIFY networkLinesChanged)

public:
    explicit SidebarModel(AppState& state, QObject* parent = nullptr);

    QVariantList sections() const;
    SidebarAccountList& accounts(Chain chain) const { return *m_accounts[chainIndex(chain)]; }
    QVariantList networkLines() const;

    Q_INVOKABLE void selectAccount(const QString& id);
    // The portfolio row (and Escape in the detail area): no account selected.
    Q_INVOKABLE void showPortfolio();

signals:
    void networkLinesChanged();

private:
    QPointer<AppState> m_state;
    std::array<SidebarAccountList*, chainCount> m_accounts{}; // children, in chain order
};

} // namespace qm
