#include "state/swap/EVMSwapExecution.h"

#include "core/encoding/Hex.h"
#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/JSONRPCClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"
#include "services/swap/UniswapCalldata.h"
#include "state/AppState.h"
#include "state/flows/ERC20Approval.h"
#include "state/flows/EVMTransactionSteps.h"

#include <algorithm>
#include <stdexcept>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

constexpr std::uint64_t swapGasFloor = 200'000;
constexpr std::uint64_t swapFeeFactor = 3;
constexpr std::size_t addressLength = 20;

Bytes addressBytes(const std::string& text, const SwapError& otherwise) {
    std::optional<Bytes> bytes = hexToBytes(text);
    if (!bytes || bytes->size() != addressLength) {
        throw otherwise;
    }
    return std::move(*bytes);
}

} // namespace

std::uint64_t swapGasLimit(std::uint64_t estimate) {
    try {
        return gasLimitWithMargin(estimate, swapGasFloor);
    } catch (const std::range_error&) {
        throw SwapError::transactionFailed("Gas estimate out of range");
    }
}

QCoro::Task<void> runEVMSwap(FlowRun run, QPointer<AppState> state, EVMSwapOrder order,
                             std::shared_ptr<const SecureBytes> password) {
    if (!state || !isEVMChain(order.chain) || order.sender.empty()) {
        throw SwapError::transactionFailed("No account");
    }
    const Bytes sender = addressBytes(order.sender, SwapError::transactionFailed("Invalid sender"));
    const Bytes router = hexToBytes(uniswapRouterAddress).value();
    const SwapQuote& quote = order.quote;
    std::shared_ptr<JSONRPCClient> client = state->networkManager().evmClient(order.chain);

    auto starting = run.animateProgress(0.05, 0.2);
    co_await std::move(starting);
    if (!quote.tokenIn.isNative) {
        const Bytes token = addressBytes(quote.tokenIn.address, SwapError::invalidToken());
        auto reading = readAllowance(client, quote.tokenIn.address, sender, router, run.token());
        const UInt256 allowance = co_await std::move(reading);
        auto checked = run.animateProgress(0.1, 0.2);
        co_await std::move(checked);
        if (!run.isActive() || !state) {
            co_return;
        }
        // Enough allowed already: no approval.
        if (quote.amountIn > allowance) {
            run.setStep(Step::Approving);
            auto approving = approveAndAwait(run, state, password, client, order.chain,
                                             order.sender, token, router);
            co_await std::move(approving);
            if (!run.isActive() || !state) {
                co_return;
            }
        }
    }
    auto ready = run.animateProgress(0.3, 0.2);
    co_await std::move(ready);
    if (!run.isActive() || !state) {
        co_return;
    }

    run.setStep(Step::Signing);
    RouterCall call = uniswapSwapCalldata(quote, sender, order.chain);
    auto asking = askNodeForTransaction(client, order.sender, bytesToHex(call.router), call.data,
                                        run.token(), call.value);
    const EVMNodeFigures figures = co_await std::move(asking);
    ETHTransaction swap =
        buildEVMTransaction(order.chain, std::move(call.router), call.value, std::move(call.data),
                            figures, swapGasLimit(figures.gasEstimate), swapFeeFactor);
    auto estimated = run.animateProgress(0.5, 0.3);
    co_await std::move(estimated);
    if (!run.isActive() || !state) {
        co_return;
    }
    auto signing = signWithWallet(state, password, std::move(swap));
    const Bytes signedSwap = co_await std::move(signing);
    auto signedShown = run.animateProgress(0.7, 0.3);
    co_await std::move(signedShown);
    if (!run.isActive() || !state) {
        co_return;
    }

    run.setStep(Step::Broadcasting);
    auto sending = client->sendRawTransaction(bytesToHex(signedSwap), run.token());
    const std::string hash = co_await std::move(sending);
    run.broadcasted(hash);
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
