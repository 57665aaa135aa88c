#include "ui/shell/StatusBarModel.h"

#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/walletconnect/WalletConnectService.h"
#include "ui/shell/ConnectionStatus.h"

namespace qm {
namespace {

QVariantMap dotMap(const DotStyle& style, const QString& label, const QString& tooltip) {
    return {{QStringLiteral("label"), label},
            {QStringLiteral("color"), style.color},
            {QStringLiteral("glowRadius"), style.glowRadius},
            {QStringLiteral("tooltip"), tooltip}};
}

// The status text a chain's dot explains itself with.
std::string poolStatus(const NetworkManager& network, Chain chain) {
    switch (chain) {
    case Chain::bitcoin:
        return network.electrumStatus();
    case Chain::ethereum:
        return network.ethPool().status;
    case Chain::arbitrum:
        return network.arbPool().status;
    case Chain::polygon:
        return network.polygonPool().status;
    case Chain::solana:
        return network.solanaPool().status;
    }
    return {};
}

} // namespace

StatusBarModel::StatusBarModel(AppState& state, Clock clock, QObject* parent)
    : QObject(parent), m_state(&state), m_clock(std::move(clock)) {
    const auto refreshed = [this] {
        m_toldHelpText = refreshHelpText();
        emit refreshChanged();
    };
    connect(&state, &AppState::isRefreshingChanged, this, refreshed);
    connect(&state, &AppState::lastRefreshChanged, this, refreshed);
    NetworkManager* network = &state.networkManager();
    connect(network, &NetworkManager::electrumConnectedChanged, this,
            &StatusBarModel::connectionsChanged);
    connect(network, &NetworkManager::electrumStatusChanged, this,
            &StatusBarModel::connectionsChanged);
    connect(network, &NetworkManager::electrumPoolChanged, this,
            &StatusBarModel::connectionsChanged);
    connect(network, &NetworkManager::rpcPoolChanged, this, &StatusBarModel::connectionsChanged);
    connect(&state.wcViewModel(), &WalletConnectService::relayConnectedChanged, this,
            &StatusBarModel::connectionsChanged);
}

bool StatusBarModel::isRefreshing() const {
    return m_state && m_state->isRefreshing();
}

QString StatusBarModel::refreshHelpText() const {
    if (!m_state) {
        return {};
    }
    return qm::refreshHelpText(m_state->isRefreshing(), m_state->lastRefresh(), m_clock());
}

QVariantList StatusBarModel::chainDots() const {
    QVariantList dots;
    if (!m_state) {
        return dots;
    }
    const NetworkManager& network = m_state->networkManager();
    for (Chain chain : allChains()) {
        dots.append(dotMap(chainDotStyle(network.isOnFallback(chain)), statusDotLabel(chain),
                           statusDotTooltip(chain, poolStatus(network, chain))));
    }
    return dots;
}

QVariantMap StatusBarModel::relayDot() const {
    const bool connected = m_state && m_state->wcViewModel().isRelayConnected();
    return dotMap(relayDotStyle(connected), QStringLiteral("WC"), relayDotTooltip(connected));
}

void StatusBarModel::refresh() {
    if (!m_state || m_state->isRefreshing()) {
        return;
    }
    AppState* state = m_state;
    TaskHandle::spawn(state, [state](CancellationToken token) { return state->refreshAll(token); });
}

void StatusBarModel::updateRefreshHelpText() {
    // Told only when it reads otherwise: it names the refresh button too, and each change of
    // a name is an event for assistive technology.
    if (QString text = refreshHelpText(); text != m_toldHelpText) {
        m_toldHelpText = std::move(text);
        emit refreshChanged();
    }
}

void StatusBarModel::lock() {
    if (m_state) {
        m_state->lock();
    }
}

} // namespace qm
