#include "state/swap/EVMPreparedSwap.h"

#include "core/encoding/Hex.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/JSONRPCClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"
#include "services/swap/UniswapCalldata.h"
#include "state/AppState.h"
#include "state/flows/EarlierAttemptNote.h"

namespace qm {
namespace {

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

EVMCallPlan swapCallPlan(const EVMSwapOrder& order) {
    if (!isEVMChain(order.chain) || order.sender.empty()) {
        throw SwapError::transactionFailed("No account");
    }
    const Bytes sender = addressBytes(order.sender, SwapError::transactionFailed("Invalid sender"));
    const SwapQuote& quote = order.quote;
    EVMCallPlan plan;
    plan.chain = order.chain;
    plan.sender = order.sender;
    if (!quote.tokenIn.isNative) {
        plan.token = addressBytes(quote.tokenIn.address, SwapError::invalidToken());
        plan.required = quote.amountIn;
    }
    RouterCall call = uniswapSwapCalldata(quote, sender, order.chain);
    plan.spender = call.router;
    plan.to = std::move(call.router);
    plan.value = call.value;
    plan.data = std::move(call.data);
    plan.gasFloor = swapGasFloor;
    plan.feeFactor = swapFeeFactor;
    return plan;
}

QCoro::Task<EVMPreparedSwap> prepareEVMSwap(QPointer<AppState> state, EVMSwapOrder order,
                                            CancellationToken cancel) {
    if (!state) {
        throw SwapError::transactionFailed("No account");
    }
    EVMCallPlan plan = swapCallPlan(order);
    std::shared_ptr<JSONRPCClient> client = state->networkManager().evmClient(order.chain);
    QCoro::Task<EVMPreparedCall> preparing =
        prepareEVMCall(std::move(client), std::move(plan), std::move(cancel),
                       earlierAttemptFeeFloor(*state, order.chain));
    EVMPreparedCall call = co_await std::move(preparing);
    co_return EVMPreparedSwap{std::move(order), std::move(call)};
}

} // namespace qm
