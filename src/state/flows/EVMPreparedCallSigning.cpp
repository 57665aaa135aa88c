#include "state/flows/EVMPreparedCallSigning.h"

#include "state/AppState.h"
#include "state/flows/ERC20Approval.h"
#include "state/flows/EVMTransactionSteps.h"

#include <utility>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

// Whether the node's figures still fit what the review showed: its gas price within the fee
// caps of the transactions still to sign, its estimate within the limit of the one asked.
bool stillFits(const EVMPreparedCall& prepared, bool approvalFirst, const EVMNodeFigures& figures) {
    const bool callFits = !(prepared.call.maxFeePerGas < figures.gasPrice);
    if (!approvalFirst) {
        return callFits && figures.gasEstimate <= prepared.call.gasLimit;
    }
    return prepared.approval && callFits && !(prepared.approval->maxFeePerGas < figures.gasPrice) &&
           figures.gasEstimate <= prepared.approval->gasLimit;
}

// Nothing is signed when the figures do not fit: the call is prepared again from them and
// handed to `revised`, and the failure names its max network fee.
void requireFit(const EVMPreparedCall& prepared, bool approvalFirst, const EVMNodeFigures& figures,
                const EVMCallRevised& revised) {
    if (stillFits(prepared, approvalFirst, figures)) {
        return;
    }
    const EVMPreparedCall fresh = preparedCallFromFigures(prepared.plan, approvalFirst, figures);
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

} // namespace

QCoro::Task<std::optional<Bytes>> signPreparedCall(FlowRun run, QPointer<AppState> state,
                                                   std::shared_ptr<JSONRPCClient> client,
                                                   EVMPreparedCall prepared,
                                                   std::shared_ptr<const SecureBytes> password,
                                                   EVMCallRevised revised) {
    const EVMCallPlan& plan = prepared.plan;
    QCoro::Task<std::optional<UInt256>> reading = readPlanAllowance(client, plan, run.token());
    const std::optional<UInt256> allowance = co_await std::move(reading);
    const bool approvalFirst = allowance && needsApproval(plan, *allowance);
    QCoro::Task<EVMNodeFigures> asking =
        askForFirstTransaction(client, plan, approvalFirst, run.token());
    const EVMNodeFigures figures = co_await std::move(asking);
    if (!goesOn(run, state)) {
        co_return std::nullopt;
    }
    requireFit(prepared, approvalFirst, figures, revised);
    // Signed before the step moves on: a wrong password fails while the allowance is checked.
    QCoro::Task<Bytes> signingFirst =
        signWithWallet(state, password,
                       approvalFirst ? prepared.approvalTransaction(figures.nonce)
                                     : prepared.callTransaction(figures.nonce));
    const Bytes first = co_await std::move(signingFirst);
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
        co_return first;
    }

    run.setStep(Step::Approving);
    QCoro::Task<void> approving = sendApprovalAndAwait(run, client, first);
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
    requireFit(prepared, false, callFigures, revised);
    QCoro::Task<Bytes> signingCall =
        signWithWallet(state, password, prepared.callTransaction(callFigures.nonce));
    const Bytes call = co_await std::move(signingCall);
    animating = run.animateProgress(0.5, 0.3);
    co_await std::move(animating);
    co_return call;
}

} // namespace qm
