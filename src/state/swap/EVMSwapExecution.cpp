#include "state/swap/EVMSwapExecution.h"

#include "core/encoding/Hex.h"
#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/JSONRPCClient.h"
#include "services/swap/SwapError.h"
#include "state/AppState.h"
#include "state/flows/EVMPreparedCallSigning.h"
#include "state/flows/EVMTransactionSteps.h"

namespace qm {
namespace {

using Step = TransactionFlow::Step;

} // namespace

QCoro::Task<void> runEVMSwap(FlowRun run, EVMSwapRequest request) {
    const QPointer<AppState> state = request.state;
    const EVMSwapOrder order = request.prepared.order;
    if (!state) {
        throw SwapError::transactionFailed("No account");
    }
    EVMPreparedCall call = request.prepared.call;
    // The same call, its deadline (a swap to the coin) counted from now.
    call.plan.data = swapCallPlan(order).data;
    std::shared_ptr<JSONRPCClient> client = state->networkManager().evmClient(order.chain);
    const std::function<void(const EVMPreparedSwap&)> revised = std::move(request.revised);
    EVMCallRevised revisedCall;
    if (revised) {
        revisedCall = [revised, order](const EVMPreparedCall& again) {
            revised(EVMPreparedSwap{order, again});
        };
    }

    auto signing = signPreparedCall(run, state, client, std::move(call),
                                    std::move(request.password), std::move(revisedCall));
    std::optional<SignedBroadcast> signedSwap = co_await std::move(signing);
    if (!signedSwap) {
        co_return;
    }
    auto signedShown = run.animateProgress(0.7, 0.3);
    co_await std::move(signedShown);
    if (!run.isActive() || !state) {
        co_return;
    }

    run.setStep(Step::Broadcasting);
    const std::string hash = signedSwap->id;
    auto sending = broadcastSigned(run, std::move(*signedSwap));
    if (!co_await std::move(sending)) {
        co_return;
    }
    auto left = run.animateProgress(0.95, 0.5);
    co_await std::move(left);
    run.setStep(Step::WaitingConfirmation);
    auto mining = run.awaitChain(receiptProbe(client, hash));
    const std::optional<bool> succeeded = co_await std::move(mining);
    if (!run.isActive()) {
        co_return;
    }
    if (state) {
        // Balances have moved whatever the receipt says (a reverted swap still paid its gas).
        AppState* owner = state.data();
        TaskHandle::spawn(owner,
                          [owner](CancellationToken token) { return owner->refreshAll(token); });
    }
    if (!succeeded) {
        run.submitted();
    } else if (*succeeded) {
        auto done = run.animateProgress(1.0, 0.3);
        co_await std::move(done);
        run.confirmed();
    } else {
        run.reverted(QString::fromUtf8(SwapError::transactionFailed("Swap reverted").what()));
    }
}

} // namespace qm
