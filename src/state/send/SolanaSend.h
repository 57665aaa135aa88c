#pragma once
// The send on Solana: lamports from the wallet's Solana account to one recipient, as a legacy
// transaction of a single System Program transfer. The body of a send flow:
//
//     auto request = std::make_shared<SolanaSendRequest>(...);
//     flow->start(Step::Signing, [request](FlowRun run) {
//         return runSolanaSend(std::move(run), std::move(*request));
//     });
//
// Steps: an earlier press's transfer that the cluster knows now is sent again and followed in
// place of a new one. Otherwise a recent blockhash is read (or an earlier press's kept while its
// transfer may still land: the same transfer is then the same bytes, and another one fails with
// SendError::earlierMayLand before signing) and the prepared transfer (SolanaPreparedSend: its
// fee is fixed, nothing else to check against the chain) built with it; the signer signs the
// message (the password is wiped once it has); the transaction is submitted, and the run asks for
// the signature's status until the cluster confirms it (or reports its error), proves that its
// blockhash has expired without it (awaitSolanaSignature), or the flow's time-out comes:
// Confirmed, Reverted, or Submitted with the signature. A broadcast starts a refresh.

#include "state/flows/TransactionFlow.h"
#include "state/send/SendRequest.h"

#include <qcoro/qcorotask.h>

namespace qm {

// The run, from the prepared send's account. Failures before the submission end it Failed
// with their text (SendError's, the client's, the signer's), later ones Submitted with the
// signature.
QCoro::Task<void> runSolanaSend(FlowRun run, SolanaSendRequest request);

} // namespace qm
