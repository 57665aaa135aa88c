#pragma once
// The send of bitcoin from the wallet's first Bitcoin account: a prepared payment (the coins of
// any address of its list, each spent with its address's derivation index; the change to the
// first address) checked against the server's coins and rate of the moment, signed as it was
// shown, broadcast through Electrum. Bitcoin has no confirmation the flow waits for: the run
// ends `submitted` with the transaction id.

#include "state/flows/TransactionFlow.h"
#include "state/send/SendRequest.h"

#include <qcoro/qcorotask.h>

namespace qm {

// The run (see SendRequest.h): an earlier press's transaction that the server knows now is sent
// again and followed in place of a new one. Otherwise a coin of the prepared payment no longer
// listed (unless an earlier press's transaction that may still land spent it), a payment that
// does not spend every coin of such a transaction, or a rate of its level above the prepared
// one, prepares it again (with those coins) and fails before signing with SendError
// feeAboveShown, everythingRevised or coinsRevised.
QCoro::Task<void> runBitcoinSend(FlowRun run, BitcoinSendRequest request);

} // namespace qm
