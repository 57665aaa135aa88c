#pragma once
// The send of SOL: one System Program transfer.

#include "state/flows/TransactionFlow.h"
#include "state/send/SendRequest.h"

#include <qcoro/qcorotask.h>

namespace qm {

QCoro::Task<void> runSolanaSend(FlowRun run, SolanaSendRequest request);

} // namespace qm
