#pragma once
// The Solana job: per account its balance, its SPL token holdings and its recent signatures.

#include "core/model/Transaction.h"
#include "services/solana/SolanaRPCTypes.h"
#include "state/refresh/RefreshJob.h"

#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

// Each of an account's three requests replaces only its own field; a failed one keeps the
// older value. No account, no request.
QCoro::Task<void> refreshSolana(RefreshJob job);

// The history entries of `owner`'s signatures, in the node's order.
std::vector<Transaction> solanaHistory(const std::vector<SolanaTransactionInfo>& signatures,
                                       const std::string& owner);

} // namespace qm
