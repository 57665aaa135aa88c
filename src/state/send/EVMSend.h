#pragma once
// The send on Ethereum, Arbitrum and Polygon: the native coin or an ERC-20 token from the
// chain's first account, as one EIP-1559 (type 2) transaction prepared beforehand
// (EVMPreparedSend). The body of a send flow:
//
//     auto request = std::make_shared<EVMSendRequest>(...);
//     flow->start(Step::Signing, [request](FlowRun run) {
//         return runEVMSend(std::move(run), std::move(*request));
//     });
//
// Steps: an earlier press's transaction that the chain knows now is sent again and followed in
// place of a new one. Otherwise the node is asked again (the nonce, "pending", so a second
// send before the first is mined takes the next one; the gas price, the priority fee, the gas
// estimate), and the nonce is that of an earlier press's transaction that may still land while
// the chain has not mined past it (conflictingNonce). A gas price above the prepared fee cap,
// an estimate above the prepared gas limit, or fees below what a pool asks to replace an
// earlier transaction at that nonce (EVMReplacementFee.h) prepare the send again and fail before
// signing with its new max fee. Otherwise the signer signs the prepared fees and gas limit with
// that nonce (the password is wiped once it has); the transaction is submitted, and the run
// waits (bounded) for its receipt: status 1 ends Confirmed, status 0 Reverted, no receipt in
// time (or a failure while asking) Submitted with the hash. A broadcast starts a refresh of the
// balances.

#include "state/flows/TransactionFlow.h"
#include "state/send/SendRequest.h"

#include <qcoro/qcorotask.h>

namespace qm {

// The run, from the first account of the prepared send's chain. Failures before the
// submission end it Failed with their text (SendError's, the client's, the signer's), later
// ones Submitted with the hash.
QCoro::Task<void> runEVMSend(FlowRun run, EVMSendRequest request);

} // namespace qm
