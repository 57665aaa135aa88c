#pragma once
// The balances' side of a chain's balance job: marking the balances it could not load, and the
// limit after which a balance still without an answer counts as not loaded.

#include "core/model/Chain.h"
#include "state/refresh/ListDeadline.h"
#include "state/refresh/RefreshJob.h"

#include <set>
#include <string>

namespace qm {

// Marks the balance of every account of `chain`'s live list as not loaded, except those of the
// accounts in `ended`; the last known figures stay.
void markBalancesFailed(AppState& state, Chain chain, const std::set<std::string>& ended = {});

// The job's deadline for the balances of `chain`: at the list limit, the balances it has not
// ended are marked as not loaded (unless the job is to stop).
ListDeadline balanceDeadline(const RefreshJob& job, Chain chain);

} // namespace qm
