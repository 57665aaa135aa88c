#pragma once
// A contract call that may spend an ERC-20 allowance of the wallet (the swap's router call,
// the sale's buy or sell), prepared once for its review and signed as prepared: the unlimited
// approval when the allowance is short, then the call, each with its fee cap, tip and gas
// limit. The review shows the max network fee, the most the two together can cost; the flow
// signs these figures (with the nonces of the moment) or, when the chain has moved, prepares
// them again and signs nothing until the new figure has been shown (EVMPreparedCallSigning).
//
// The call cannot be estimated while the approval it needs is not in a block (it would fail
// for want of allowance): its gas limit is then its floor with the margin, a bound that the
// flow checks against the node's estimate once the approval is in, before signing the call.

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/async/CancellationToken.h"
#include "services/evm/ETHSigner.h"
#include "state/flows/EVMReplacementFee.h"
#include "state/flows/EVMTransactionSteps.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class JSONRPCClient;

// What a flow asks to be done.
struct EVMCallPlan {
    Chain chain = Chain::ethereum;
    std::string sender; // the chain's first account, "0x" and 40 hex digits
    // The token the call takes from the sender (20 bytes; empty: none, as when the coin is
    // paid), and how much of it `spender` must be allowed to take.
    Bytes token;
    Bytes spender;
    UInt256 required;
    // The call itself.
    Bytes to;
    UInt256 value;
    Bytes data;
    // Its gas limit: a fifth over the larger of the node's estimate and this floor.
    std::uint64_t gasFloor = 0;
    // Its fee cap: the node's gas price times this.
    std::uint64_t feeFactor = 1;

    bool operator==(const EVMCallPlan&) const = default;
};

// The fees of one prepared transaction.
struct EVMPreparedFees {
    std::uint64_t nonce = 0; // the node's when prepared; the flow reads it again
    UInt256 maxFeePerGas;
    UInt256 maxPriorityFeePerGas;
    std::uint64_t gasLimit = 0;
    UInt256 maxFee; // gasLimit x maxFeePerGas

    bool operator==(const EVMPreparedFees&) const = default;
};

struct EVMPreparedCall {
    EVMCallPlan plan;
    std::optional<EVMPreparedFees> approval; // the allowance was short
    EVMPreparedFees call;
    // The call's gas limit is its floor with the margin, not from an estimate (an approval
    // comes first): the max network fee is a bound the call's estimate may still pass.
    bool callLimitIsBound = false;
    UInt256 maxFee; // the approval's and the call's

    // The approval (to the token, approve(spender, 2^256 - 1)) and the call with these fees.
    ETHTransaction approvalTransaction(std::uint64_t nonce) const;
    ETHTransaction callTransaction(std::uint64_t nonce) const;

    bool operator==(const EVMPreparedCall&) const = default;
};

// The chain moved between the review and the press: the call was prepared again, nothing was
// signed, and the text names the max network fee the review shows now.
class EVMFeeRevised : public Error {
public:
    // `maxFeeText` as maxNetworkFeeText gives it; above the fee shown when `above`.
    EVMFeeRevised(const std::string& maxFeeText, bool above);
};

// The approve(spender, 2^256 - 1) call data of `plan`.
Bytes approvalCalldata(const EVMCallPlan& plan);

// `plan` prepared from the node's figures for its first transaction: the approval's when
// `approvalFirst` (fee cap twice the gas price, limit the larger of its estimate and 60,000;
// the call then gets the plan's fee cap of the same gas price and its floor with the margin),
// else the call's (the plan's fee cap, its estimate with the margin). The first transaction's
// fee cap and tip are raised to `replacing` (what a pool asks to replace an earlier attempt at
// its nonce). Throws UnbelievableFees for figures past the bounds no honest chain passes
// (EVMFeeBounds.h), std::range_error for figures out of range.
EVMPreparedCall preparedCallFromFigures(EVMCallPlan plan, bool approvalFirst,
                                        const EVMNodeFigures& figures,
                                        const std::optional<EVMFeeFloor>& replacing = std::nullopt);

// Whether the approval must come first: the plan spends a token and `allowance` is short.
bool needsApproval(const EVMCallPlan& plan, const UInt256& allowance);

// The allowance the plan's spender has of its token (none without a token: nothing to read).
QCoro::Task<std::optional<UInt256>> readPlanAllowance(std::shared_ptr<JSONRPCClient> client,
                                                      EVMCallPlan plan, CancellationToken cancel);

// The node's figures of the plan's first transaction: the approval's, or the call's.
QCoro::Task<EVMNodeFigures> askForFirstTransaction(std::shared_ptr<JSONRPCClient> client,
                                                   EVMCallPlan plan, bool approvalFirst,
                                                   CancellationToken cancel);

// `plan` prepared with the node's figures of the moment: the allowance read, then the figures
// of the first transaction, which pays at least `replacing`. Throws the client's errors (an
// estimate refused for want of funds, a call that reverts) and std::range_error.
QCoro::Task<EVMPreparedCall> prepareEVMCall(std::shared_ptr<JSONRPCClient> client, EVMCallPlan plan,
                                            CancellationToken cancel,
                                            std::optional<EVMFeeFloor> replacing = std::nullopt);

// "0.00042 ETH": the max network fee, exact, in the chain's coin.
std::string maxNetworkFeeText(const EVMPreparedCall& prepared);

} // namespace qm
