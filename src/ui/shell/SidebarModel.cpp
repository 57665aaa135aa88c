#include "ui/shell/SidebarModel.h"

#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "ui/shell/ConnectionStatus.h"
#include "ui/shell/SidebarAccountList.h"
#include "ui/shell/SidebarItems.h"

namespace qm {

SidebarModel::SidebarModel(AppState& state, QObject* parent) : QObject(parent), m_state(&state) {
    for (Chain chain : allChains()) {
        m_accounts[chainIndex(chain)] = new SidebarAccountList(state, chain, this);
    }
    NetworkManager* network = &state.networkManager();
    connect(network, &NetworkManager::electrumConnectedChanged, this,
            &SidebarModel::networkLinesChanged);
    connect(network, &NetworkManager::electrumStatusChanged, this,
            &SidebarModel::networkLinesChanged);
    connect(network, &NetworkManager::electrumPoolChanged, this,
            &SidebarModel::networkLinesChanged);
    connect(network, &NetworkManager::rpcPoolChanged, this, &SidebarModel::networkLinesChanged);
}

QVariantList SidebarModel::sections() const {
    QVariantList sections;
    for (Chain chain : allChains()) {
        sections.append(QVariantMap{
            {QStringLiteral("title"), QString::fromStdString(displayName(chain))},
            {QStringLiteral("chain"), static_cast<int>(chain)},
            {QStringLiteral("items"), QVariant::fromValue<QObject*>(&accounts(chain))},
        });
    }
    return sections;
}

QVariantList SidebarModel::networkLines() const {
    QVariantList lines;
    if (!m_state) {
        return lines;
    }
    const NetworkManager& network = m_state->networkManager();
    for (Chain chain : allChains()) {
        const NetworkLineStatus status =
            networkLineStatus(network.isConnected(chain), network.isConnecting(chain));
        const QString host = QString::fromStdString(network.activeHost(chain).value_or(""));
        lines.append(QVariantMap{
            {QStringLiteral("chain"), static_cast<int>(chain)},
            // The status bar's labels: Arbitrum pays in ETH too, and is told apart by its own.
            {QStringLiteral("ticker"), statusDotLabel(chain)},
            {QStringLiteral("host"), host},
            {QStringLiteral("color"), status.color},
            {QStringLiteral("word"), status.word},
            {QStringLiteral("glowRadius"), status.glowRadius},
            {QStringLiteral("tooltip"), networkLineTooltip(chain, status.word, host)},
        });
    }
    return lines;
}

void SidebarModel::selectAccount(const QString& id) {
    if (m_state) {
        qm::selectAccount(*m_state, id.toStdString());
    }
}

void SidebarModel::showPortfolio() {
    if (m_state) {
        m_state->setSelectedAccountIndex(AppState::noAccountSelected);
    }
}

} // namespace qm
