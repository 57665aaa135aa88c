#pragma once
// The tooltip of the status bar's refresh button.

#include "core/model/Date.h"

#include <QString>
#include <functional>
#include <optional>

namespace qm {

// Where "now" comes from; tests pass a fixed clock.
using Clock = std::function<Date()>;

// "Refreshing..." while a refresh runs; "Refresh balances" before the first one ended; else
// "Last refresh: Ns ago" up to 59 seconds and "Last refresh: Mm ago" from 60 (whole seconds,
// truncated; whole minutes). A last refresh in the future (the clock was set back) counts as 0s.
QString refreshHelpText(bool isRefreshing, const std::optional<Date>& lastRefresh, Date now);

} // namespace qm
