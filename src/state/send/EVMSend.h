#pragma once
// The send on Ethereum, Arbitrum and Polygon: the native coin or an ERC-20 token from the
// chain's first account, as one EIP-1559 (type 2) transaction. The body of a send flow:
//
//     auto request = std::make_shared<EVMSendRequest>(...);
//     flow->start(Step::Signing, [request](FlowRun run) {
//         return runEVMSend(std::move(run), std::move(*request));
//     });
//
// Steps: the inputs are checked before anything reaches the network; then the nonce
// ("pending", so a second send before the first is mined takes the next one), the gas price
// and the priority fee, the gas estimate; the signer signs (the password is wiped once it
// has); the transaction is submitted, and the run waits (bounded) for its receipt: status 1
// ends Confirmed, status 0 Reverted, no receipt in time (or a failure while asking) Submitted
// with the hash. A broadcast starts a refresh of the balances.

#include "state/flows/TransactionFlow.h"
#include "state/send/SendRequest.h"

#include <cstdint>
#include <qcoro/qcorotask.h>

namespace qm {

// What a fee level multiplies: the gas price times 1, 2 or 3 (economy, normal, priority) is
// the fee cap, the priority fee times 1, 1 or 2 the tip (then capped at the fee cap).
struct EVMFeeFactors {
    std::uint64_t feeCap = 1;
    std::uint64_t tip = 1;
};
EVMFeeFactors evmFeeFactors(SendFeeLevel level);

// The run, from the first account of `request.chain` (Ethereum, Arbitrum or Polygon); the
// amount is in wei, or in the token's units. Failures before the submission end it Failed
// with their text (SendError's, the client's, the signer's), later ones Submitted with the
// hash.
QCoro::Task<void> runEVMSend(FlowRun run, EVMSendRequest request);

} // namespace qm
