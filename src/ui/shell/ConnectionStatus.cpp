#include "ui/shell/ConnectionStatus.h"

#include "ui/theme/BRPalette.h"

namespace qm {

DotStyle chainDotStyle(std::optional<bool> isOnFallback) {
    if (!isOnFallback) {
        return {palette::error(), 2};
    }
    if (*isOnFallback) {
        return {QColor::fromRgbF(0.23f, 0.64f, 0.91f), 4};
    }
    return {palette::success(), 4};
}

DotStyle relayDotStyle(bool isRelayConnected) {
    return isRelayConnected ? DotStyle{palette::success(), 4} : DotStyle{palette::error(), 2};
}

QString relayDotTooltip(bool isRelayConnected) {
    return isRelayConnected ? QStringLiteral("WalletConnect relay connected")
                            : QStringLiteral("WalletConnect relay disconnected");
}

QString statusDotLabel(Chain chain) {
    switch (chain) {
    case Chain::bitcoin:
        return QStringLiteral("BTC");
    case Chain::ethereum:
        return QStringLiteral("ETH");
    case Chain::arbitrum:
        return QStringLiteral("ARB");
    case Chain::polygon:
        return QStringLiteral("POL");
    case Chain::solana:
        return QStringLiteral("SOL");
    }
    return {};
}

QString statusDotTooltip(Chain chain, const std::string& status) {
    return QString::fromStdString(displayName(chain)) + QStringLiteral(": ") +
           QString::fromStdString(status);
}

NetworkLineStatus networkLineStatus(bool connected, bool connecting) {
    const int glow = connected ? 3 : 1;
    if (connecting) {
        return {palette::warning(), QStringLiteral("Connecting..."), glow};
    }
    if (connected) {
        return {palette::success(), QStringLiteral("Connected"), glow};
    }
    return {palette::error(), QStringLiteral("Disconnected"), glow};
}

QString networkLineTooltip(Chain chain, const QString& word, const QString& host) {
    const QString separator = QStringLiteral(" \u2014 ");
    return QString::fromStdString(displayName(chain)) + separator + word + separator + host;
}

} // namespace qm
