#include "ui/settings/NetworkSettingsViewModel.h"

#include "core/model/Chain.h"
#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"

#include <QPointer>
#include <QVariantMap>
#include <array>

namespace qm {
namespace {

constexpr std::array<Chain, 4> rpcChains{Chain::ethereum, Chain::arbitrum, Chain::polygon,
                                         Chain::solana};

// Free coroutines, so nothing they use lives in a lambda's captures. Owned by the manager:
// the pass runs to its end after the tab has gone.
QCoro::Task<void> runElectrumPass(QPointer<NetworkManager> manager) {
    if (manager) {
        co_await manager->connectElectrum();
    }
}

QCoro::Task<void> runRPCPass(QPointer<NetworkManager> manager, Chain chain) {
    if (manager) {
        if (chain == Chain::solana) {
            co_await manager->connectSolana();
        } else {
            co_await manager->connectEVM(chain);
        }
    }
}

} // namespace

NetworkSettingsViewModel::NetworkSettingsViewModel(QObject* parent) : StateBoundModel(parent) {
    connect(this, &StateBoundModel::appStateChanged, this, &NetworkSettingsViewModel::watchManager);
    watchManager();
}

NetworkManager* NetworkSettingsViewModel::manager() const {
    AppState* state = appState();
    return state ? &state->networkManager() : nullptr;
}

void NetworkSettingsViewModel::watchManager() {
    NetworkManager* current = manager();
    if (current == m_watched) {
        return;
    }
    if (m_watched) {
        disconnect(m_watched, nullptr, this, nullptr);
    }
    m_watched = current;
    if (current) {
        connect(current, &QObject::destroyed, this, [this] { m_watched = nullptr; });
        connect(current, &NetworkManager::electrumConnectedChanged, this,
                &NetworkSettingsViewModel::electrumChanged);
        connect(current, &NetworkManager::electrumStatusChanged, this,
                &NetworkSettingsViewModel::electrumChanged);
        connect(current, &NetworkManager::rpcPoolChanged, this,
                &NetworkSettingsViewModel::rpcPoolsChanged);
    }
    emit electrumChanged();
    emit rpcPoolsChanged();
}

void NetworkSettingsViewModel::setElectrumHost(const QString& host) {
    if (m_host != host) {
        m_host = host;
        emit formChanged();
    }
}

void NetworkSettingsViewModel::setElectrumPort(const QString& port) {
    if (m_port != port) {
        m_port = port;
        emit formChanged();
    }
}

void NetworkSettingsViewModel::setElectrumTLS(bool useTLS) {
    if (m_useTLS != useTLS) {
        m_useTLS = useTLS;
        emit formChanged();
    }
}

bool NetworkSettingsViewModel::electrumConnected() const {
    const NetworkManager* network = manager();
    return network && network->electrumConnected();
}

QString NetworkSettingsViewModel::electrumStatus() const {
    const NetworkManager* network = manager();
    return network ? network->electrumStatusText() : QStringLiteral("Disconnected");
}

QVariantList NetworkSettingsViewModel::rpcPools() const {
    QVariantList pools;
    const NetworkManager* network = manager();
    if (!network) {
        return pools;
    }
    for (Chain chain : rpcChains) {
        const EVMRPCPool pool =
            chain == Chain::solana ? network->solanaPool() : network->evmPool(chain);
        QVariantList endpoints;
        for (std::size_t i = 0; i < pool.urls.size(); ++i) {
            const QUrl& url = pool.urls[i];
            // The host names an endpoint; a URL without one shows whole.
            const QString text = url.host().isEmpty() ? url.toString() : url.host();
            endpoints.append(
                QVariantMap{{QStringLiteral("text"), text},
                            {QStringLiteral("active"), static_cast<int>(i) == pool.activeIndex}});
        }
        pools.append(
            QVariantMap{{QStringLiteral("chain"), static_cast<int>(chainIndex(chain))},
                        {QStringLiteral("name"), QString::fromStdString(displayName(chain))},
                        {QStringLiteral("connected"), pool.connected},
                        {QStringLiteral("status"), QString::fromStdString(pool.status)},
                        {QStringLiteral("endpoints"), endpoints}});
    }
    return pools;
}

void NetworkSettingsViewModel::loadCurrentServer() {
    const NetworkManager* network = manager();
    if (!network || network->electrumPool().servers.empty()) {
        return;
    }
    const ServerPool::Server& server = network->electrumPool().activeServer();
    setElectrumHost(QString::fromStdString(server.host));
    setElectrumPort(QString::number(server.port));
    setElectrumTLS(server.useTLS);
    setErrors({}, {});
}

bool NetworkSettingsViewModel::applyElectrumServer() {
    const QString hostError = hostProblem(m_host);
    const std::optional<std::uint16_t> port = parsePort(m_port);
    const QString portError =
        port ? QString() : QStringLiteral("Port must be a number from 1 to 65535.");
    setErrors(hostError, portError);
    NetworkManager* network = manager();
    if (!hostError.isEmpty() || !port || !network) {
        return false;
    }
    network->useCustomElectrumServer(m_host.toStdString(), *port, m_useTLS);
    return true;
}

void NetworkSettingsViewModel::reconnectElectrum() {
    if (NetworkManager* network = manager()) {
        const QPointer<NetworkManager> guarded(network);
        TaskHandle::spawn(network,
                          [guarded](CancellationToken) { return runElectrumPass(guarded); });
    }
}

void NetworkSettingsViewModel::reconnectRPC(int chain) {
    NetworkManager* network = manager();
    if (!network || chain < 0 || chain >= static_cast<int>(chainCount)) {
        return;
    }
    const Chain target = allChains()[static_cast<std::size_t>(chain)];
    if (target == Chain::bitcoin) {
        return;
    }
    const QPointer<NetworkManager> guarded(network);
    TaskHandle::spawn(network,
                      [guarded, target](CancellationToken) { return runRPCPass(guarded, target); });
}

std::optional<std::uint16_t> NetworkSettingsViewModel::parsePort(const QString& text) {
    QStringView digits(text);
    if (digits.startsWith(QLatin1Char('+'))) {
        digits = digits.mid(1);
    }
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(c.unicode() - u'0');
        if (value > 65535) {
            return std::nullopt; // stops before a long text could overflow
        }
    }
    if (value < 1 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

QString NetworkSettingsViewModel::hostProblem(const QString& host) {
    if (host.trimmed().isEmpty()) {
        return QStringLiteral("Enter the server's host name or address.");
    }
    for (QChar c : host) {
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            return QStringLiteral("The host must not contain spaces or control characters.");
        }
    }
    return {};
}

void NetworkSettingsViewModel::setErrors(const QString& hostError, const QString& portError) {
    if (m_hostError != hostError || m_portError != portError) {
        m_hostError = hostError;
        m_portError = portError;
        emit formErrorChanged();
    }
}

} // namespace qm
