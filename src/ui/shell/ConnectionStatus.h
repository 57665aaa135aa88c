#pragma once
// Colours and texts of the connection indicators: the status bar's dots (one per chain and
// one for the WalletConnect relay) and the sidebar's network lines.

#include "core/model/Chain.h"

#include <QColor>
#include <QString>
#include <optional>
#include <string>

namespace qm {

struct DotStyle {
    QColor color;
    int glowRadius = 2;
    bool operator==(const DotStyle&) const = default;
};

// A chain's dot from whether it runs on a fallback endpoint: primary (false) green, another
// endpoint (true) blue, not connected (absent) red with the small glow.
DotStyle chainDotStyle(std::optional<bool> isOnFallback);
// The relay's dot: green while connected, else red with the small glow.
DotStyle relayDotStyle(bool isRelayConnected);
// "WalletConnect relay connected" or "WalletConnect relay disconnected".
QString relayDotTooltip(bool isRelayConnected);
// The status bar's short label of a chain: "BTC", "ETH", "ARB", "POL", "SOL".
QString statusDotLabel(Chain chain);
// "Bitcoin: " and the Electrum status, or the chain's name and its pool's status.
QString statusDotTooltip(Chain chain, const std::string& status);

struct NetworkLineStatus {
    QColor color;
    QString word; // "Connecting...", "Connected" or "Disconnected"
    int glowRadius = 1;
    bool operator==(const NetworkLineStatus&) const = default;
};

// The sidebar line of a chain: connecting wins over connected; the glow is wide whenever the
// chain is connected, connecting or not.
NetworkLineStatus networkLineStatus(bool connected, bool connecting);
// "Bitcoin — Connected — host" (space, em dash, space between the parts).
QString networkLineTooltip(Chain chain, const QString& word, const QString& host);

} // namespace qm
