#include "state/walletconnect/WCTransactionPreparation.h"

#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/evm/JSONRPCClient.h"
#include "state/flows/EVMFeeBounds.h"
#include "state/flows/EVMTransactionSteps.h"

#include <stdexcept>

namespace qm {
namespace {

// The fee cap is the gas price times this: room for the base fee to rise for a few blocks.
constexpr std::uint64_t kFeeCapFactor = 2;

QCoro::Task<std::uint64_t> estimate(std::shared_ptr<JSONRPCClient> client,
                                    WCTransactionRequest request, std::string from,
                                    CancellationToken token) {
    std::optional<std::string> value;
    if (!request.value.isZero()) {
        value = request.value.description();
    }
    QCoro::Task<std::uint64_t> estimating = client->estimateGas(
        std::move(from), request.toText, std::move(value), bytesToHex(request.data), token);
    const std::uint64_t estimated = co_await std::move(estimating);
    co_return estimated;
}

// What the dApp itself names is held to the bounds too: a request asking absurd fees or gas
// is refused before it is reviewed.
void requireBelievableDappFigures(const WCTransactionRequest& request,
                                  std::optional<std::uint64_t> blockGasLimit) {
    const auto feePerGas = [](const std::optional<UInt256>& value, std::string_view figure) {
        if (value) {
            requireBelievableFeePerGas(*value, figure, FeeFiguresSource::dApp);
        }
    };
    feePerGas(request.gasPrice, "its gas price");
    feePerGas(request.maxFeePerGas, "its fee cap");
    feePerGas(request.maxPriorityFeePerGas, "its tip");
    if (request.gasLimit) {
        requireBelievableGas(*request.gasLimit, "its gas limit", blockGasLimit,
                             FeeFiguresSource::dApp);
    }
}

// The max fee (gas limit x fee cap) and total (and the value) of `prepared`'s transaction.
void fillMaxFee(WCPreparedTransaction& prepared) {
    const ETHTransaction& tx = prepared.transaction;
    const auto maxFee = tx.maxFeePerGas.checkedMultiply(UInt256(0, 0, 0, tx.gasLimit));
    const auto total = maxFee ? maxFee->checkedAdd(tx.value) : std::nullopt;
    if (!total) {
        throw std::range_error("The transaction's network fee is out of range.");
    }
    prepared.maxFee = *maxFee;
    prepared.total = *total;
}

} // namespace

std::string exactCoinText(const UInt256& baseUnits, Chain chain) {
    const Amount amount{baseUnits, static_cast<unsigned>(nativeDecimals(chain))};
    return amount.exactText() + " " + nativeSymbol(chain);
}

QCoro::Task<WCPreparedTransaction> prepareWCTransaction(std::shared_ptr<JSONRPCClient> client,
                                                        WCTransactionRequest request, Chain chain,
                                                        std::string from, CancellationToken token,
                                                        std::optional<EVMFeeFloor> replacing) {
    WCPreparedTransaction out;
    ETHTransaction& tx = out.transaction;
    tx.chainID = evmChainID(chain);
    out.nonceFromDapp = request.nonce.has_value();
    if (request.nonce) {
        tx.nonce = *request.nonce;
    } else {
        QCoro::Task<std::uint64_t> counting = client->getTransactionCount(from, token);
        tx.nonce = co_await std::move(counting);
    }
    QCoro::Task<UInt256> pricing = client->gasPrice(token);
    const UInt256 gasPrice = co_await std::move(pricing);
    QCoro::Task<UInt256> tipping = client->maxPriorityFeePerGas(token);
    const UInt256 tip = co_await std::move(tipping);
    out.gasFromDapp = request.gasLimit.has_value();
    std::optional<std::uint64_t> estimated;
    if (!request.gasLimit) {
        QCoro::Task<std::uint64_t> estimating = estimate(client, request, from, token);
        estimated = co_await std::move(estimating);
    }
    QCoro::Task<LatestBlock> reading = readLatestBlock(client, token);
    const std::optional<std::uint64_t> blockGasLimit = (co_await std::move(reading)).gasLimit;
    requireBelievableDappFigures(request, blockGasLimit);
    EVMNodeFigures figures;
    figures.gasPrice = gasPrice;
    figures.priorityFee = tip;
    figures.gasEstimate = estimated.value_or(0);
    figures.blockGasLimit = blockGasLimit;
    requireBelievableNodeFigures(figures);
    tx.gasLimit = request.gasLimit ? *request.gasLimit : gasLimitWithMargin(*estimated, 0);
    tx.maxFeePerGas = scaledGasPrice(gasPrice, kFeeCapFactor);
    tx.maxPriorityFeePerGas = cappedPriorityFee(tip, tx.maxFeePerGas);
    raiseToFloor(tx.maxFeePerGas, tx.maxPriorityFeePerGas, replacing);
    requireBelievableFees(tx.maxFeePerGas, tx.maxPriorityFeePerGas, tx.gasLimit, blockGasLimit);
    tx.to = request.to;
    tx.value = request.value;
    tx.data = request.data;
    fillMaxFee(out);
    co_return out;
}

WCPreparedTransaction raisedToFloor(WCPreparedTransaction prepared, const EVMFeeFloor& floor) {
    ETHTransaction& tx = prepared.transaction;
    raiseToFloor(tx.maxFeePerGas, tx.maxPriorityFeePerGas, floor);
    requireBelievableFees(tx.maxFeePerGas, tx.maxPriorityFeePerGas, tx.gasLimit, std::nullopt);
    fillMaxFee(prepared);
    return prepared;
}

QCoro::Task<WCTransactionCheck> recheckWCTransaction(std::shared_ptr<JSONRPCClient> client,
                                                     WCPreparedTransaction prepared,
                                                     WCTransactionRequest request, Chain chain,
                                                     std::string from, CancellationToken token,
                                                     std::optional<EVMFeeFloor> replacing) {
    QCoro::Task<UInt256> pricing = client->gasPrice(token);
    const UInt256 gasPrice = co_await std::move(pricing);
    bool moved = gasPrice > prepared.transaction.maxFeePerGas;
    if (!moved && !prepared.gasFromDapp) {
        QCoro::Task<std::uint64_t> estimating = estimate(client, request, from, token);
        const std::uint64_t estimated = co_await std::move(estimating);
        moved = estimated > prepared.transaction.gasLimit;
    }
    if (moved) {
        QCoro::Task<WCPreparedTransaction> preparing = prepareWCTransaction(
            client, std::move(request), chain, std::move(from), token, replacing);
        WCTransactionCheck check;
        check.prepared = co_await std::move(preparing);
        check.revised = true;
        co_return check;
    }
    if (!prepared.nonceFromDapp) {
        QCoro::Task<std::uint64_t> counting = client->getTransactionCount(from, token);
        prepared.transaction.nonce = co_await std::move(counting);
    }
    WCTransactionCheck check;
    check.prepared = std::move(prepared);
    co_return check;
}

} // namespace qm
