#pragma once
// The send of the native coin or an ERC-20 token on Ethereum, Arbitrum and Polygon.

#include "state/flows/TransactionFlow.h"
#include "state/send/SendRequest.h"

#include <qcoro/qcorotask.h>

namespace qm {

QCoro::Task<void> runEVMSend(FlowRun run, EVMSendRequest request);

} // namespace qm
