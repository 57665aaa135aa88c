#include "state/send/EVMPreparedSend.h"

#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/ERC20.h"
#include "services/evm/EthereumAddress.h"
#include "services/evm/JSONRPCClient.h"
#include "state/AppState.h"
#include "state/flows/EarlierAttemptNote.h"
#include "state/send/SendError.h"
#include "state/send/SendRecipients.h"

#include <algorithm>
#include <stdexcept>

namespace qm {
namespace {

constexpr std::uint64_t nativeGasFloor = 21'000;
constexpr std::uint64_t tokenGasFloor = 65'000;

} // namespace

ETHTransaction EVMPreparedSend::transaction(std::uint64_t currentNonce) const {
    ETHTransaction tx;
    tx.chainID = evmChainID(form.chain);
    tx.nonce = currentNonce;
    tx.maxFeePerGas = maxFeePerGas;
    tx.maxPriorityFeePerGas = maxPriorityFeePerGas;
    tx.gasLimit = gasLimit;
    tx.to = transfer.to;
    tx.value = transfer.value;
    tx.data = transfer.data;
    return tx;
}

EVMTransfer evmTransfer(const EVMSendForm& form) {
    const std::optional<Bytes> recipient = evmRecipientBytes(form.recipient);
    if (!recipient) {
        throw SendError(SendError::Code::invalidAddress);
    }
    if (form.amount.isZero()) {
        throw SendError(SendError::Code::invalidAmount);
    }
    EVMTransfer transfer;
    if (!form.token) {
        transfer.to = *recipient;
        transfer.value = form.amount;
        transfer.gasFloor = nativeGasFloor;
        return transfer;
    }
    const std::optional<Bytes> contract = ethereumAddressBytes(form.token->contractAddress);
    if (!contract) {
        throw SendError(SendError::Code::invalidAddress);
    }
    transfer.to = *contract;
    transfer.data = erc20TransferCalldata(*recipient, form.amount);
    transfer.gasFloor = tokenGasFloor;
    return transfer;
}

EVMPreparedSend prepareEVMFromFigures(EVMSendForm form, std::string sender, EVMTransfer transfer,
                                      const EVMNodeFigures& figures,
                                      const std::optional<EVMFeeFloor>& replacing) {
    requireBelievableNodeFigures(figures);
    const EVMFeeFactors factors = evmFeeFactors(form.feeLevel);
    EVMPreparedSend prepared;
    prepared.maxFeePerGas = scaledGasPrice(figures.gasPrice, factors.feeCap);
    prepared.maxPriorityFeePerGas =
        cappedPriorityFee(scaledGasPrice(figures.priorityFee, factors.tip), prepared.maxFeePerGas);
    raiseToFloor(prepared.maxFeePerGas, prepared.maxPriorityFeePerGas, replacing);
    prepared.gasLimit = std::max(transfer.gasFloor, figures.gasEstimate);
    requireBelievableFees(prepared.maxFeePerGas, prepared.maxPriorityFeePerGas, prepared.gasLimit,
                          figures.blockGasLimit);
    const std::optional<UInt256> maxFee =
        prepared.maxFeePerGas.checkedMultiply(UInt256(0, 0, 0, prepared.gasLimit));
    if (!maxFee) {
        throw std::range_error("The node's fees are out of range.");
    }
    prepared.maxFee = *maxFee;
    prepared.nonce = figures.nonce;
    prepared.form = std::move(form);
    prepared.sender = std::move(sender);
    prepared.transfer = std::move(transfer);
    return prepared;
}

std::string evmMaxFeeText(const EVMPreparedSend& prepared) {
    return Amount{prepared.maxFee, 18}.exactText() + " " + nativeSymbol(prepared.form.chain) +
           " (" + Amount{prepared.maxFeePerGas, 9}.fixedText(1) + " Gwei)";
}

QCoro::Task<std::shared_ptr<JSONRPCClient>> evmClient(QPointer<AppState> state, Chain chain,
                                                      CancellationToken token) {
    if (!state) {
        throw SendError(SendError::Code::noAccount);
    }
    QCoro::Task<std::shared_ptr<JSONRPCClient>> connecting =
        state->networkManager().connectedEVMClient(chain, std::move(token));
    std::shared_ptr<JSONRPCClient> client = co_await std::move(connecting);
    if (!state) {
        throw SendError(SendError::Code::noAccount);
    }
    if (!client) {
        throw SendError::networkUnavailable("Cannot connect to " + displayName(chain) + " RPC");
    }
    co_return client;
}

QCoro::Task<EVMPreparedSend> prepareEVMSend(QPointer<AppState> state, EVMSendForm form,
                                            CancellationToken token) {
    if (!state || !isEVMChain(form.chain) || state->evmAccounts(form.chain).empty()) {
        throw SendError(SendError::Code::noAccount);
    }
    std::string sender = state->evmAccounts(form.chain).front().account.address;
    EVMTransfer transfer = evmTransfer(form);
    QCoro::Task<std::shared_ptr<JSONRPCClient>> connecting = evmClient(state, form.chain, token);
    const std::shared_ptr<JSONRPCClient> client = co_await std::move(connecting);
    QCoro::Task<EVMNodeFigures> asking = askNodeForTransaction(
        client, sender, bytesToHex(transfer.to), transfer.data, token, transfer.value);
    const EVMNodeFigures figures = co_await std::move(asking);
    if (!state) {
        throw SendError(SendError::Code::noAccount);
    }
    const std::optional<EVMFeeFloor> replacing = earlierAttemptFeeFloor(*state, form.chain);
    co_return prepareEVMFromFigures(std::move(form), std::move(sender), std::move(transfer),
                                    figures, replacing);
}

} // namespace qm
