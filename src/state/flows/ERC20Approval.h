#pragma once
// The ERC-20 allowance a flow needs before a contract may take a token from the wallet:
// reading it, and an unlimited approval sent and then awaited until its receipt is in a block
// (a call that spends the allowance fails, or reverts, while the approval is still in the
// pool). Shared by the swap and the sale. GUI thread.

#include "core/crypto/UInt256.h"
#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/async/CancellationToken.h"
#include "state/flows/SignedBroadcast.h"

#include <cstdint>
#include <memory>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class FlowRun;
class JSONRPCClient;

class ApprovalError : public Error {
public:
    enum class Kind {
        notConfirmed, // "The approval was not confirmed in time. Try again in a moment."
        reverted,     // "The approval was reverted on chain."
    };
    explicit ApprovalError(Kind kind);
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// The gas limit of an approval: the larger of the node's estimate and 60,000.
std::uint64_t approvalGasLimit(std::uint64_t estimate);

// What `owner` allows `spender` to take of the token at `token` (20-byte addresses). A result
// that is no hex or shorter than 32 bytes counts as 0 (an approval then follows); the client's
// errors are thrown.
QCoro::Task<UInt256> readAllowance(std::shared_ptr<JSONRPCClient> client, std::string token,
                                   Bytes owner, Bytes spender, CancellationToken cancel);

// Waits, within the run's time limits, for the receipt of the approval `transactionHash`.
// Throws ApprovalError::notConfirmed when none came in time (or the run ended) and
// ApprovalError::reverted for a failed one; the probe's errors are thrown too. Once the receipt
// is read the flow is done with its approval attempts.
QCoro::Task<void> awaitApproval(FlowRun run, std::shared_ptr<JSONRPCClient> client,
                                std::string transactionHash);

// Sends `approval` (an approval signed for the wallet, or an earlier one the chain knows, as
// broadcastSigned sends it), moves the progress to 0.25, then awaits its receipt
// (awaitApproval). Returns once the approval is in a block and succeeded; throws the client's
// and ApprovalError's errors (notConfirmed also when its answer was lost and the chain never
// knew it: the run has then ended Submitted). An approval sent stays on the chain. No face says
// it left ("Approving token..." until its block): it stays untold until its receipt settles it,
// so a run that ends before leaves it for the next press to follow.
QCoro::Task<void> sendApprovalAndAwait(FlowRun run, std::shared_ptr<JSONRPCClient> client,
                                       SignedBroadcast approval);

} // namespace qm
