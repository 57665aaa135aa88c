#pragma once
// The press of a reviewed EVMPreparedCall, up to its signed call: the steps a swap and a sale
// share before the broadcast. GUI thread only.
//
// An earlier press's call that the chain knows now is the call (sent again and followed: nothing
// is signed), and an earlier press's approval that it knows is awaited to its block before the
// allowance is read. Otherwise the node is asked again (the allowance, the figures of the first
// transaction), and the first transaction (the approval, or the call) takes the nonce of the
// moment, or that of an earlier press's approval or call that may still land while the chain
// has not mined past it (so at most one of them can; conflictingNonce). The approval now needed
// where the review showed none, a gas price above a prepared fee cap, an estimate above a
// prepared gas limit or fees below what a pool asks to replace an earlier attempt at that nonce
// prepare the call again, hand it to `revised` (the review shows it, the next press signs it)
// and fail with its max network fee (EVMFeeRevised) before anything is signed. Otherwise the
// first transaction is signed while the flow still checks the allowance, so a wrong password
// fails there, before any step that did not happen. Then, with an approval: it is sent and
// awaited to its block, and the call, estimated now, is checked the same way (a new max fee
// stops it, the approval done) and signed. Steps: CheckingAllowance (the run's first),
// Approving (only with an approval), Signing; progress 0.05, 0.1 (a token), 0.3, 0.5.

#include "platform/Bytes.h"
#include "platform/SecureBytes.h"
#include "state/flows/EVMPreparedCall.h"
#include "state/flows/SignedBroadcast.h"
#include "state/flows/TransactionFlow.h"

#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class AppState;
class JSONRPCClient;

// Told the call prepared again when the chain moved (none: nobody is told).
using EVMCallRevised = std::function<void(const EVMPreparedCall&)>;

// The call as broadcastSigned sends it (signed now, or an earlier one the chain knows), or none
// when the run ended (its flow gone or cancelled) or the state has gone. Throws EVMFeeRevised,
// the client's, the signer's (a wrong password) and ApprovalError's errors.
QCoro::Task<std::optional<SignedBroadcast>>
signPreparedCall(FlowRun run, QPointer<AppState> state, std::shared_ptr<JSONRPCClient> client,
                 EVMPreparedCall prepared, std::shared_ptr<const SecureBytes> password,
                 EVMCallRevised revised);

} // namespace qm
