#pragma once
// The balance job of one EVM chain: token discovery, then per account the native balance
// and the balance (and, when held, the price) of every stored token of the chain.

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "state/refresh/RefreshJob.h"

#include <qcoro/qcorotask.h>

namespace qm {

// A failed native balance marks the pool "Fetch failed", reconnects, and reads every
// account's native balance once more; token balances wait for the next run.
QCoro::Task<void> refreshEVMBalances(RefreshJob job, Chain chain);

// Whole coins of a wei amount (the integer as a double, divided by 10^18).
double weiToCoins(const UInt256& wei);

} // namespace qm
