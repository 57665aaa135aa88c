#pragma once
// The send of bitcoin from the wallet's first Bitcoin account: the coins of every address
// of its list, spent each with its address's derivation index; the change to the first
// address; signed at the rate the user saw, broadcast through Electrum. Bitcoin has no
// confirmation the flow waits for: the run ends `submitted` with the transaction id.

#include "state/flows/TransactionFlow.h"
#include "state/send/SendRequest.h"

#include <qcoro/qcorotask.h>

namespace qm {

QCoro::Task<void> runBitcoinSend(FlowRun run, BitcoinSendRequest request);

} // namespace qm
