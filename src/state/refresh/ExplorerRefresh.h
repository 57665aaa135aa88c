#pragma once
// The history job of one EVM chain: every account's normal transactions and ERC-20
// transfers from the block explorer, as entries newest first.

#include "core/model/Chain.h"
#include "core/model/Transaction.h"
#include "services/evm/BlockscoutPage.h"
#include "state/refresh/RefreshJob.h"

#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

// Rebuilds the history of every account of `chain` (Ethereum, Arbitrum, Polygon; any other
// chain returns at once). A failed request logs a line; its kind of entries (normal or token
// transfers) keeps the ones the account had, or, when the explorer failed after its first
// pages, is what those pages held, and the history is marked failed or incomplete.
QCoro::Task<void> refreshExplorerHistory(RefreshJob job, Chain chain);

// The entry of one explorer record of `owner`'s history; none without hash, sender or
// recipient. Unreadable numbers take their defaults; nothing is wrapped.
std::optional<Transaction> transactionFromExplorer(const ExplorerTx& record, Chain chain,
                                                   const std::string& owner, bool isToken);

} // namespace qm
