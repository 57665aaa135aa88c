#pragma once
// The run of a prepared Uniswap V3 swap on Ethereum, Arbitrum or Polygon inside a
// TransactionFlow: the node asked again and the approval, when one is needed, signed, sent and
// awaited until its receipt says it succeeded; then the router call signed with the prepared
// fees (EVMPreparedCallSigning), sent, and followed to its receipt. Confirmed only when the
// receipt says so; a reverted swap (below the minimum output, for example) is reported as such.

#include "platform/SecureBytes.h"
#include "state/flows/TransactionFlow.h"
#include "state/swap/EVMPreparedSwap.h"

#include <QPointer>
#include <functional>
#include <memory>
#include <qcoro/qcorotask.h>

namespace qm {

class AppState;

// What the run is given: the swap as reviewed, the wallet's password (its holder wipes it),
// and where a swap prepared again goes (the review shows it, the next press signs it).
struct EVMSwapRequest {
    QPointer<AppState> state;
    std::shared_ptr<const SecureBytes> password;
    EVMPreparedSwap prepared;
    std::function<void(const EVMPreparedSwap&)> revised;
};

// The body of the flow (started at CheckingAllowance). Steps: CheckingAllowance, Approving
// (only when an approval is sent), Signing, Broadcasting, WaitingConfirmation, then
// Confirmed, Reverted, or Submitted when no receipt came in time. A failure before the swap
// left (the chain moved since the review, a wrong password, a node error, a reverted or
// unconfirmed approval: ERC20Approval) ends at Failed with its text. The deadline of a swap to
// the coin counts from the press, as its nonce is read then.
QCoro::Task<void> runEVMSwap(FlowRun run, EVMSwapRequest request);

} // namespace qm
