#pragma once
// The balances' side of a chain's balance job: the limit after which a balance still without an
// answer counts as not loaded.

#include "core/model/Chain.h"
#include "state/refresh/ListDeadline.h"
#include "state/refresh/RefreshJob.h"

namespace qm {

// The job's deadline for the balances of `chain`: at the list limit, the balance of every
// account of `chain`'s live list that the job has not ended is marked as not loaded, its last
// known figure kept (unless the job is to stop).
ListDeadline balanceDeadline(const RefreshJob& job, Chain chain);

} // namespace qm
