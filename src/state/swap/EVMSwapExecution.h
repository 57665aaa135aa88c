#pragma once
// The run of a Uniswap V3 swap on Ethereum, Arbitrum or Polygon inside a TransactionFlow: for
// an ERC-20 input whose allowance for the router is short, an approval first, awaited until
// its receipt says it succeeded; then the router call, signed by the signer, sent, and
// followed to its receipt. Confirmed only when the receipt says so; a reverted swap (below
// the minimum output, for example) is reported as such.

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "platform/SecureBytes.h"
#include "services/swap/SwapQuote.h"
#include "state/flows/TransactionFlow.h"

#include <QPointer>
#include <cstdint>
#include <memory>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class AppState;

// What the run signs, fixed when it starts.
struct EVMSwapOrder {
    Chain chain = Chain::ethereum;
    SwapQuote quote;
    std::string sender; // the chain's first account, "0x" and 40 hex digits; empty: none
};

// m + m / 5 with m the larger of the estimate and 200,000 (checked: a limit above 2^64 - 1
// throws SwapError).
std::uint64_t swapGasLimit(std::uint64_t estimate);

// The body of the flow (started at CheckingAllowance). Steps: CheckingAllowance, Approving
// (only when an approval is sent), Signing, Broadcasting, WaitingConfirmation, then
// Confirmed, Reverted, or Submitted when no receipt came in time. A failure before the swap
// left (wrong password, a node error, a reverted or unconfirmed approval: ERC20Approval) ends
// at Failed with its text. The password is the wallet's; its holder wipes it.
QCoro::Task<void> runEVMSwap(FlowRun run, QPointer<AppState> state, EVMSwapOrder order,
                             std::shared_ptr<const SecureBytes> password);

} // namespace qm
