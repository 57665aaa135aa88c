#include "state/swap/EVMSwapExecution.h"

#include "core/encoding/Hex.h"
#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/ERC20.h"
#include "services/evm/ETHSigner.h"
#include "services/evm/JSONRPCClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"
#include "services/swap/UniswapCalldata.h"
#include "state/AppState.h"
#include "state/signing/Signer.h"

#include <algorithm>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

constexpr std::uint64_t approvalGasFloor = 60'000;
constexpr std::uint64_t swapGasFloor = 200'000;
constexpr std::uint64_t approvalFeeMultiplier = 2;
constexpr std::uint64_t swapFeeMultiplier = 3;
constexpr std::size_t addressLength = 20;
constexpr std::size_t wordLength = 32;

Bytes addressBytes(const std::string& text, const SwapError& otherwise) {
    std::optional<Bytes> bytes = hexToBytes(text);
    if (!bytes || bytes->size() != addressLength) {
        throw otherwise;
    }
    return std::move(*bytes);
}

// The allowance in the first word of an eth_call result; anything else counts as none.
UInt256 allowanceFrom(const std::string& result) {
    const std::optional<Bytes> bytes = hexToBytes(result);
    if (!bytes || bytes->size() < wordLength) {
        return UInt256();
    }
    return UInt256::fromBigEndianBytes(ByteView(bytes->data(), wordLength));
}

// One look at the receipt: true succeeded, false reverted, none not mined yet.
QCoro::Task<std::optional<bool>> receiptVerdict(std::shared_ptr<JSONRPCClient> client,
                                                std::string hash, CancellationToken attempt) {
    auto asking = client->getTransactionReceipt(std::move(hash), std::move(attempt));
    const std::optional<ETHReceipt> receipt = co_await std::move(asking);
    if (!receipt) {
        co_return std::nullopt;
    }
    // Nodes before Byzantium give no status: mined counts as done there.
    co_return receipt->status.value_or(1) == 1;
}

std::function<QCoro::Task<std::optional<bool>>(CancellationToken)>
receiptProbe(std::shared_ptr<JSONRPCClient> client, std::string hash) {
    return [client = std::move(client), hash = std::move(hash)](CancellationToken attempt) {
        return receiptVerdict(client, hash, std::move(attempt));
    };
}

// Nonce, gas price and tip, one after the other, then the estimate: a transaction ready to
// sign from `sender` to `to`.
QCoro::Task<ETHTransaction> prepared(std::shared_ptr<JSONRPCClient> client, Chain chain,
                                     std::string sender, Bytes to, UInt256 value, Bytes data,
                                     std::uint64_t feeMultiplier, bool isSwap,
                                     CancellationToken cancel) {
    ETHTransaction tx;
    tx.chainID = evmChainID(chain);
    auto nonce = client->getTransactionCount(sender, cancel);
    tx.nonce = co_await std::move(nonce);
    auto gasPrice = client->gasPrice(cancel);
    const UInt256 price = co_await std::move(gasPrice);
    auto tip = client->maxPriorityFeePerGas(cancel);
    const UInt256 priority = co_await std::move(tip);
    const EVMFees fees = swapFees(price, feeMultiplier, priority);
    tx.maxFeePerGas = fees.maxFeePerGas;
    tx.maxPriorityFeePerGas = fees.maxPriorityFeePerGas;
    std::optional<std::string> valueText;
    if (!value.isZero()) {
        valueText = value.description();
    }
    auto estimating =
        client->estimateGas(sender, bytesToHex(to), valueText, bytesToHex(data), cancel);
    const std::uint64_t estimate = co_await std::move(estimating);
    tx.gasLimit = isSwap ? swapGasLimit(estimate) : approvalGasLimit(estimate);
    tx.to = std::move(to);
    tx.value = value;
    tx.data = std::move(data);
    co_return tx;
}

std::string_view passwordText(const SecureBytes& password) {
    return {reinterpret_cast<const char*>(password.data()), password.size()};
}

} // namespace

EVMFees swapFees(const UInt256& gasPrice, std::uint64_t multiplier, const UInt256& priorityFee) {
    const std::optional<UInt256> cap = gasPrice.checkedMultiply(UInt256(0, 0, 0, multiplier));
    if (!cap) {
        throw SwapError::transactionFailed("Gas price out of range");
    }
    return {*cap, std::min(priorityFee, *cap)};
}

std::uint64_t approvalGasLimit(std::uint64_t estimate) {
    return std::max(estimate, approvalGasFloor);
}

std::uint64_t swapGasLimit(std::uint64_t estimate) {
    const std::uint64_t m = std::max(estimate, swapGasFloor);
    std::uint64_t limit = 0;
    if (__builtin_add_overflow(m, m / 5, &limit)) {
        throw SwapError::transactionFailed("Gas estimate out of range");
    }
    return limit;
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
    const CancellationToken& cancel = run.token();

    auto starting = run.animateProgress(0.05, 0.2);
    co_await std::move(starting);
    if (!quote.tokenIn.isNative) {
        // The router may move at least the input already: no approval.
        const Bytes token = addressBytes(quote.tokenIn.address, SwapError::invalidToken());
        std::string allowanceData = bytesToHex(erc20AllowanceCalldata(sender, router));
        auto reading = client->ethCall(quote.tokenIn.address, std::move(allowanceData), cancel);
        const UInt256 allowance = allowanceFrom(co_await std::move(reading));
        auto checked = run.animateProgress(0.1, 0.2);
        co_await std::move(checked);
        if (!run.isActive() || !state) {
            co_return;
        }
        if (quote.amountIn > allowance) {
            run.setStep(Step::Approving);
            auto preparing = prepared(client, order.chain, order.sender, token, UInt256(),
                                      erc20ApproveCalldata(router, UInt256::max()),
                                      approvalFeeMultiplier, false, cancel);
            ETHTransaction approval = co_await std::move(preparing);
            if (!run.isActive() || !state) {
                co_return;
            }
            auto signing = state->signer().signEVMTransaction(
                order.walletID, passwordText(*password), 0, std::move(approval));
            const Bytes signedApproval = co_await std::move(signing);
            if (!run.isActive()) {
                co_return;
            }
            auto sending = client->sendRawTransaction(bytesToHex(signedApproval), cancel);
            const std::string approvalHash = co_await std::move(sending);
            auto sent = run.animateProgress(0.25, 0.3);
            co_await std::move(sent);
            // The swap's estimate and its transfer need the approval mined: wait for its
            // receipt, and stop when it failed or did not come.
            auto mining = run.awaitChain(receiptProbe(client, approvalHash));
            const std::optional<bool> approved = co_await std::move(mining);
            if (!run.isActive() || !state) {
                co_return;
            }
            if (!approved) {
                throw SwapError::transactionFailed("Approval not confirmed in time");
            }
            if (!*approved) {
                throw SwapError::transactionFailed("Approval reverted");
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
    auto preparing = prepared(client, order.chain, order.sender, std::move(call.router), call.value,
                              std::move(call.data), swapFeeMultiplier, true, cancel);
    ETHTransaction swap = co_await std::move(preparing);
    auto estimated = run.animateProgress(0.5, 0.3);
    co_await std::move(estimated);
    if (!run.isActive() || !state) {
        co_return;
    }
    auto signing = state->signer().signEVMTransaction(order.walletID, passwordText(*password), 0,
                                                      std::move(swap));
    const Bytes signedSwap = co_await std::move(signing);
    auto signedShown = run.animateProgress(0.7, 0.3);
    co_await std::move(signedShown);
    if (!run.isActive() || !state) {
        co_return;
    }

    run.setStep(Step::Broadcasting);
    auto sending = client->sendRawTransaction(bytesToHex(signedSwap), cancel);
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
