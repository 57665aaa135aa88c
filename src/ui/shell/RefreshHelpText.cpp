#include "ui/shell/RefreshHelpText.h"

#include <algorithm>
#include <cmath>

namespace qm {

QString refreshHelpText(bool isRefreshing, const std::optional<Date>& lastRefresh, Date now) {
    if (isRefreshing) {
        return QStringLiteral("Refreshing...");
    }
    if (!lastRefresh) {
        return QStringLiteral("Refresh balances");
    }
    const double elapsed = now.secondsSinceReferenceDate - lastRefresh->secondsSinceReferenceDate;
    // Clamped both ways: a clock set back must not read "-5s ago", nor a huge gap overflow.
    const double clamped = std::isfinite(elapsed) ? std::clamp(elapsed, 0.0, 1e15) : 0.0;
    const auto seconds = static_cast<long long>(std::trunc(clamped));
    if (seconds > 59) {
        return QStringLiteral("Last refresh: %1m ago").arg(seconds / 60);
    }
    return QStringLiteral("Last refresh: %1s ago").arg(seconds);
}

} // namespace qm
