#include "state/sale/NOVRSaleFlow.h"

#include "core/encoding/Hex.h"
#include "core/model/Chain.h"
#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/JSONRPCClient.h"
#include "services/sale/NOVRError.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"
#include "state/flows/EVMPreparedCallSigning.h"
#include "state/flows/EVMTransactionSteps.h"

#include <string>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

// Thrown when the run can go no further because its flow or the state has gone.
struct RunEnded {};

void requireActive(const FlowRun& run, const QPointer<AppState>& state) {
    if (!run.isActive() || !state) {
        throw RunEnded{};
    }
}

QCoro::Task<void> finishedTask() {
    co_return;
}

void refreshAfterwards(const QPointer<AppState>& state) {
    if (!state) {
        return;
    }
    TaskHandle::spawn(state, [state](CancellationToken token) {
        return state ? state->refreshAll(std::move(token)) : finishedTask();
    });
}

QCoro::Task<void> runSteps(FlowRun run, QPointer<AppState> state, NOVRPreparedSale prepared,
                           std::shared_ptr<const SecureBytes> password,
                           std::function<void(const NOVRPreparedSale&)> revised) {
    requireActive(run, state);
    if (state->evmAccounts(Chain::arbitrum).empty()) {
        throw NOVRError::noAccount();
    }
    const std::shared_ptr<JSONRPCClient> client =
        state->networkManager().evmClient(Chain::arbitrum);
    // Nothing is approved or sent unless the sale contract still answers at its address.
    QCoro::Task<UInt256> probing = fetchFloorPrice(client, run.token());
    co_await std::move(probing);
    requireActive(run, state);

    EVMCallRevised revisedCall;
    if (revised) {
        revisedCall = [revised, order = prepared.order](const EVMPreparedCall& again) {
            revised(NOVRPreparedSale{order, again});
        };
    }
    QCoro::Task<std::optional<SignedBroadcast>> signing = signPreparedCall(
        run, state, client, std::move(prepared.call), std::move(password), std::move(revisedCall));
    std::optional<SignedBroadcast> signedTransaction = co_await std::move(signing);
    if (!signedTransaction) {
        throw RunEnded{};
    }
    QCoro::Task<void> signedProgress = run.animateProgress(0.7, 0.3);
    co_await std::move(signedProgress);
    requireActive(run, state);

    run.setStep(Step::Broadcasting);
    const std::string hash = signedTransaction->id;
    QCoro::Task<bool> sending = broadcastSigned(run, std::move(*signedTransaction));
    if (!co_await std::move(sending)) {
        refreshAfterwards(state);
        throw RunEnded{};
    }
    requireActive(run, state);
    QCoro::Task<void> sent = run.animateProgress(0.95, 0.5);
    co_await std::move(sent);
    requireActive(run, state);

    run.setStep(Step::WaitingConfirmation);
    QCoro::Task<std::optional<bool>> waiting = run.awaitChain(receiptProbe(client, hash));
    const std::optional<bool> succeeded = co_await std::move(waiting);
    if (!run.isActive()) {
        co_return;
    }
    if (!succeeded) {
        run.submitted();
    } else if (*succeeded) {
        QCoro::Task<void> finishing = run.animateProgress(1.0, 0.3);
        co_await std::move(finishing);
        run.confirmed();
    } else {
        run.reverted(QStringLiteral("The transaction was reverted on chain."));
    }
    refreshAfterwards(state);
}

} // namespace

QCoro::Task<void> runNOVRSale(FlowRun run, QPointer<AppState> state, NOVRPreparedSale prepared,
                              std::shared_ptr<const SecureBytes> password,
                              std::function<void(const NOVRPreparedSale&)> revised) {
    try {
        QCoro::Task<void> steps =
            runSteps(run, state, std::move(prepared), std::move(password), std::move(revised));
        co_await std::move(steps);
    } catch (const RunEnded&) {
        // The flow or the state has gone: nobody is left to tell.
    }
}

bool startNOVRSale(TransactionFlow& flow, NOVRSaleRequest request) {
    auto secret = std::make_shared<const SecureBytes>(std::move(request.password));
    auto held = std::make_shared<NOVRSaleRequest>(std::move(request));
    return flow.start(Step::CheckingAllowance, [held, secret](FlowRun run) {
        return runNOVRSale(std::move(run), held->state, held->prepared, secret, held->revised);
    });
}

} // namespace qm
