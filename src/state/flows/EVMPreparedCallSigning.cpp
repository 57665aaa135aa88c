#include "state/flows/EVMPreparedCallSigning.h"

#include "core/encoding/Hex.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/ERC20Approval.h"
#include "state/flows/EVMReplacementFee.h"
#include "state/flows/EVMTransactionSteps.h"

#include <utility>
#include <vector>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

// Whether the node's figures still fit what the review showed: its gas price within the fee
// caps of the transactions still to sign, its estimate within the limit of the one asked; and
// whether that one, at `nonce`, pays what a pool asks to replace an earlier attempt there.
bool stillFits(const EVMPreparedCall& prepared, bool approvalFirst, const EVMNodeFigures& figures,
               std::uint64_t nonce, const std::vector<UnsettledAttempt>& attempts) {
    const bool callFits = !(prepared.call.maxFeePerGas < figures.gasPrice);
    if (!approvalFirst) {
        return callFits && figures.gasEstimate <= prepared.call.gasLimit &&
               paysReplacement(prepared.callTransaction(nonce), attempts);
    }
    return prepared.approval && callFits && !(prepared.approval->maxFeePerGas < figures.gasPrice) &&
           figures.gasEstimate <= prepared.approval->gasLimit &&
           paysReplacement(prepared.approvalTransaction(nonce), attempts);
}

// Nothing is signed when the figures do not fit: the call is prepared again from them (its
// first transaction paying what replacing an attempt at `nonce` asks) and handed to `revised`,
// and the failure names its max network fee.
void requireFit(const EVMPreparedCall& prepared, bool approvalFirst, const EVMNodeFigures& figures,
                std::uint64_t nonce, const std::vector<UnsettledAttempt>& attempts,
                const EVMCallRevised& revised) {
    if (stillFits(prepared, approvalFirst, figures, nonce, attempts)) {
        return;
    }
    const EVMPreparedCall fresh = preparedCallFromFigures(prepared.plan, approvalFirst, figures,
                                                          replacementFloor(attempts, nonce));
    if (revised) {
        revised(fresh);
    }
    // Above what is left to sign of the fee shown (without an approval no longer needed).
    const UInt256& shown = approvalFirst ? prepared.maxFee : prepared.call.maxFee;
    throw EVMFeeRevised(maxNetworkFeeText(fresh), shown < fresh.maxFee);
}

bool goesOn(const FlowRun& run, const QPointer<AppState>& state) {
    return run.isActive() && state;
}

// The call as the history shows it while unsettled: to the contract it calls.
SignedBroadcast calledThrough(SignedBroadcast tx, const EVMCallPlan& plan) {
    tx.record.counterparty = bytesToHex(plan.to);
    return tx;
}

} // namespace

QCoro::Task<std::optional<SignedBroadcast>>
signPreparedCall(FlowRun run, QPointer<AppState> state, std::shared_ptr<JSONRPCClient> client,
                 EVMPreparedCall prepared, std::shared_ptr<const SecureBytes> password,
                 EVMCallRevised revised) {
    const EVMCallPlan& plan = prepared.plan;
    if (!goesOn(run, state)) {
        co_return std::nullopt;
    }
    run.useLedger(state->attemptLedger());
    // An earlier press's call (or its approval) that the chain knows now is followed; one that
    // may still land lends the first transaction its nonce.
    QCoro::Task<EarlierAttempts> checking =
        earlierAttempts(run, evmAttemptScope(client, explorerOf(state), plan.chain, plan.sender,
                                             {std::string(), approvalSlot}));
    EarlierAttempts earlier = co_await std::move(checking);
    if (!goesOn(run, state)) {
        co_return std::nullopt;
    }
    if (earlier.known && earlier.known->slot.empty()) {
        run.followsEarlier(earlier.known->record);
        co_return earlier.known;
    }
    if (earlier.known) {
        // Sent again and awaited to its block before the allowance it sets is read.
        const std::string approvalHash = earlier.known->id;
        QCoro::Task<bool> resending = broadcastSigned(run, *earlier.known);
        if (!co_await std::move(resending)) {
            throw ApprovalError(ApprovalError::Kind::notConfirmed);
        }
        QCoro::Task<void> approved = awaitApproval(run, client, approvalHash);
        co_await std::move(approved);
        // What it replaced can no longer land: its nonce is the approval's now.
        if (earlier.conflict && earlier.conflict->nonce == earlier.known->record.nonce) {
            earlier.conflict.reset();
        }
    }
    QCoro::Task<std::optional<UInt256>> reading = readPlanAllowance(client, plan, run.token());
    const std::optional<UInt256> allowance = co_await std::move(reading);
    const bool approvalFirst = allowance && needsApproval(plan, *allowance);
    QCoro::Task<EVMNodeFigures> asking =
        askForFirstTransaction(client, plan, approvalFirst, run.token());
    const EVMNodeFigures figures = co_await std::move(asking);
    if (!goesOn(run, state)) {
        co_return std::nullopt;
    }
    // The first transaction takes the nonce of an earlier one that may still land.
    QCoro::Task<std::uint64_t> choosing =
        conflictingNonce(client, explorerOf(state), earlier, figures.nonce, run.token());
    const std::uint64_t firstNonce = co_await std::move(choosing);
    if (!goesOn(run, state)) {
        co_return std::nullopt;
    }
    requireFit(prepared, approvalFirst, figures, firstNonce,
               state->attemptLedger().of(plan.chain, plan.sender), revised);
    // Signed before the step moves on: a wrong password fails while the allowance is checked.
    QCoro::Task<Bytes> signingFirst =
        signWithWallet(state, password,
                       approvalFirst ? prepared.approvalTransaction(firstNonce)
                                     : prepared.callTransaction(firstNonce));
    Bytes first = co_await std::move(signingFirst);
    QCoro::Task<void> animating = run.animateProgress(0.05, 0.2);
    co_await std::move(animating);
    if (allowance) {
        animating = run.animateProgress(0.1, 0.2);
        co_await std::move(animating);
    }
    if (!goesOn(run, state)) {
        co_return std::nullopt;
    }
    if (!approvalFirst) {
        animating = run.animateProgress(0.3, 0.2);
        co_await std::move(animating);
        run.setStep(Step::Signing);
        animating = run.animateProgress(0.5, 0.3);
        co_await std::move(animating);
        co_return calledThrough(evmBroadcast(client, explorerOf(state),
                                             EVMSigned{std::move(first), plan.sender, firstNonce,
                                                       figures.latestBlock, plan.chain}),
                                plan);
    }

    run.setStep(Step::Approving);
    SignedBroadcast approval = evmBroadcast(
        client, explorerOf(state),
        EVMSigned{std::move(first), plan.sender, firstNonce, figures.latestBlock, plan.chain},
        approvalSlot, false);
    approval.record.counterparty = bytesToHex(plan.token);
    QCoro::Task<void> approving = sendApprovalAndAwait(run, client, std::move(approval));
    co_await std::move(approving);
    animating = run.animateProgress(0.3, 0.2);
    co_await std::move(animating);
    if (!goesOn(run, state)) {
        co_return std::nullopt;
    }
    run.setStep(Step::Signing);
    // The call can be estimated now that the approval is in a block.
    QCoro::Task<EVMNodeFigures> askingAgain =
        askForFirstTransaction(client, plan, false, run.token());
    const EVMNodeFigures callFigures = co_await std::move(askingAgain);
    if (!goesOn(run, state)) {
        co_return std::nullopt;
    }
    requireFit(prepared, false, callFigures, callFigures.nonce,
               state->attemptLedger().of(plan.chain, plan.sender), revised);
    QCoro::Task<Bytes> signingCall =
        signWithWallet(state, password, prepared.callTransaction(callFigures.nonce));
    Bytes call = co_await std::move(signingCall);
    animating = run.animateProgress(0.5, 0.3);
    co_await std::move(animating);
    co_return calledThrough(evmBroadcast(client, explorerOf(state),
                                         EVMSigned{std::move(call), plan.sender, callFigures.nonce,
                                                   callFigures.latestBlock, plan.chain}),
                            plan);
}

} // namespace qm
