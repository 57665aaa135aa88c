#pragma once
// The market-data job: the coins' prices and 24-hour changes, and each chain's chart.

#include "state/refresh/RefreshJob.h"

#include <qcoro/qcorotask.h>

namespace qm {

// Asks nothing while the wallet is locked or the task cancelled. Once asked, the answers are
// written even if the wallet locks meanwhile: market data does not belong to the wallet. An
// empty answer keeps the older values; each pair it did not bring is marked as not loaded.
QCoro::Task<void> refreshPrices(RefreshJob job);

} // namespace qm
