#pragma once
// The two Bitcoin jobs of a refresh: the balance and history count of every address (summed
// per account), and every account's history rebuilt from the Electrum server.

#include "state/refresh/RefreshJob.h"

#include <qcoro/qcorotask.h>

namespace qm {

// Per address its confirmed balance and history size; per account their sum. The results
// are merged into the account's live address list by script hash, so an address added or
// removed meanwhile is kept or stays gone. The first failed request reconnects once and
// reruns the pass, skipping single failures: an account missing an address's balance keeps
// its last known balance, marked as not loaded.
QCoro::Task<void> refreshBitcoinBalances(RefreshJob job);

// The tip height, then per account every address's history and every transaction's raw
// form, built into the account's history (pending first, then the highest block first).
QCoro::Task<void> refreshBitcoinHistory(RefreshJob job);

} // namespace qm
