#include "state/send/EVMSend.h"

#include "core/crypto/Keccak.h"
#include "core/encoding/Hex.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/ERC20.h"
#include "services/evm/EthereumAddress.h"
#include "services/evm/JSONRPCClient.h"
#include "state/AppState.h"
#include "state/flows/EVMTransactionSteps.h"
#include "state/send/RefreshAfterBroadcast.h"
#include "state/send/SendError.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

constexpr std::uint64_t nativeGasFloor = 21'000;
constexpr std::uint64_t tokenGasFloor = 65'000;

// What the transaction will do, from the request alone (no network).
struct EVMTransfer {
    Bytes to;
    UInt256 value;
    Bytes data;
    std::uint64_t gasFloor = nativeGasFloor;
};

EVMTransfer checkedTransfer(const EVMSendRequest& request) {
    const std::optional<Bytes> recipient = ethereumAddressBytes(request.recipient);
    if (!recipient) {
        throw SendError(SendError::Code::invalidAddress);
    }
    if (request.amount.isZero()) {
        throw SendError(SendError::Code::invalidAmount);
    }
    EVMTransfer transfer;
    if (!request.token) {
        transfer.to = *recipient;
        transfer.value = request.amount;
        return transfer;
    }
    const std::optional<Bytes> contract = ethereumAddressBytes(request.token->contractAddress);
    if (!contract) {
        throw SendError(SendError::Code::invalidAddress);
    }
    transfer.to = *contract;
    transfer.data = erc20TransferCalldata(*recipient, request.amount);
    transfer.gasFloor = tokenGasFloor;
    return transfer;
}

} // namespace

EVMFeeFactors evmFeeFactors(SendFeeLevel level) {
    switch (level) {
    case SendFeeLevel::slow:
        return {1, 1};
    case SendFeeLevel::normal:
        return {2, 1};
    case SendFeeLevel::fast:
        break;
    }
    return {3, 2};
}

QCoro::Task<void> runEVMSend(FlowRun run, EVMSendRequest request) {
    const QPointer<AppState> state = request.state;
    if (!state || !run.isActive()) {
        co_return;
    }
    const Chain chain = request.chain;
    const std::vector<EVMAccountState>& accounts = state->evmAccounts(chain);
    if (!isEVMChain(chain) || accounts.empty()) {
        throw SendError(SendError::Code::noAccount);
    }
    const std::string sender = accounts.front().account.address;
    const EVMTransfer transfer = checkedTransfer(request);
    QCoro::Task<void> animating = run.animateProgress(0.1, 0.3);
    co_await std::move(animating);

    if (!state || !run.isActive()) {
        co_return;
    }
    QCoro::Task<std::shared_ptr<JSONRPCClient>> connecting =
        state->networkManager().connectedEVMClient(chain, run.token());
    const std::shared_ptr<JSONRPCClient> client = co_await std::move(connecting);
    if (!run.isActive()) {
        co_return;
    }
    if (!client) {
        throw SendError::networkUnavailable("Cannot connect to " + displayName(chain) + " RPC");
    }
    QCoro::Task<EVMNodeFigures> asking = askNodeForTransaction(
        client, sender, bytesToHex(transfer.to), transfer.data, run.token(), transfer.value);
    EVMNodeFigures figures = co_await std::move(asking);
    animating = run.animateProgress(0.25, 0.3);
    co_await std::move(animating);
    animating = run.animateProgress(0.4, 0.2);
    co_await std::move(animating);

    const EVMFeeFactors factors = evmFeeFactors(request.feeLevel);
    figures.priorityFee = scaledGasPrice(figures.priorityFee, factors.tip);
    ETHTransaction transaction =
        buildEVMTransaction(chain, transfer.to, transfer.value, transfer.data, figures,
                            std::max(transfer.gasFloor, figures.gasEstimate), factors.feeCap);
    animating = run.animateProgress(0.5, 0.2);
    co_await std::move(animating);

    if (!state || !run.isActive()) {
        co_return;
    }
    // Dropped (and wiped) as soon as the signer has used it.
    auto password = std::make_shared<const SecureBytes>(std::move(request.password));
    QCoro::Task<Bytes> signing = signWithWallet(state, password, std::move(transaction));
    password.reset();
    const Bytes signedTransaction = co_await std::move(signing);
    animating = run.animateProgress(0.7, 0.3);
    co_await std::move(animating);

    if (!run.isActive()) {
        co_return;
    }
    run.setStep(Step::Broadcasting);
    QCoro::Task<std::string> submitting =
        client->sendRawTransaction(bytesToHex(signedTransaction), run.token());
    co_await std::move(submitting);
    // The id is the hash of the bytes that left, whatever the node answered.
    const std::string hash = bytesToHex(keccak256(signedTransaction));
    run.broadcasted(hash);
    const RefreshAfterBroadcast refresh(state);
    animating = run.animateProgress(0.95, 0.5);
    co_await std::move(animating);

    run.setStep(Step::WaitingConfirmation);
    QCoro::Task<std::optional<bool>> waiting = run.awaitChain(receiptProbe(client, hash));
    const std::optional<bool> outcome = co_await std::move(waiting);
    if (!run.isActive()) {
        co_return;
    }
    if (!outcome) {
        run.submitted();
    } else if (*outcome) {
        animating = run.animateProgress(1.0, 0.3);
        co_await std::move(animating);
        run.confirmed();
    } else {
        run.reverted(QStringLiteral("The transaction was reverted"));
    }
}

} // namespace qm
