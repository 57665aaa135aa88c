#include "state/flows/EVMPreparedCall.h"

#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/evm/ERC20.h"
#include "services/evm/JSONRPCClient.h"
#include "state/flows/ERC20Approval.h"

#include <stdexcept>

namespace qm {
namespace {

constexpr std::uint64_t approvalFeeFactor = 2;

std::string revisedText(const std::string& maxFeeText, bool above) {
    if (above) {
        return "This transaction now needs a max network fee of " + maxFeeText +
               ", more than the one shown. Review it and confirm again.";
    }
    return "The network's fees changed since the review; the max network fee is now " + maxFeeText +
           ". Review it and confirm again.";
}

EVMPreparedFees feesOf(const EVMNodeFigures& figures, std::uint64_t feeFactor,
                       std::uint64_t gasLimit, const std::optional<EVMFeeFloor>& replacing = {}) {
    EVMPreparedFees fees;
    fees.nonce = figures.nonce;
    fees.maxFeePerGas = scaledGasPrice(figures.gasPrice, feeFactor);
    fees.maxPriorityFeePerGas = cappedPriorityFee(figures.priorityFee, fees.maxFeePerGas);
    raiseToFloor(fees.maxFeePerGas, fees.maxPriorityFeePerGas, replacing);
    fees.gasLimit = gasLimit;
    requireBelievableFees(fees.maxFeePerGas, fees.maxPriorityFeePerGas, fees.gasLimit,
                          figures.blockGasLimit);
    const std::optional<UInt256> maxFee =
        fees.maxFeePerGas.checkedMultiply(UInt256(0, 0, 0, gasLimit));
    if (!maxFee) {
        throw std::range_error("The node's fees are out of range.");
    }
    fees.maxFee = *maxFee;
    return fees;
}

ETHTransaction transactionOf(Chain chain, const EVMPreparedFees& fees, std::uint64_t nonce,
                             Bytes to, UInt256 value, Bytes data) {
    ETHTransaction tx;
    tx.chainID = evmChainID(chain);
    tx.nonce = nonce;
    tx.maxFeePerGas = fees.maxFeePerGas;
    tx.maxPriorityFeePerGas = fees.maxPriorityFeePerGas;
    tx.gasLimit = fees.gasLimit;
    tx.to = std::move(to);
    tx.value = value;
    tx.data = std::move(data);
    return tx;
}

} // namespace

EVMFeeRevised::EVMFeeRevised(const std::string& maxFeeText, bool above)
    : Error(revisedText(maxFeeText, above)) {}

ETHTransaction EVMPreparedCall::approvalTransaction(std::uint64_t nonce) const {
    return transactionOf(plan.chain, approval.value_or(EVMPreparedFees{}), nonce, plan.token,
                         UInt256(), approvalCalldata(plan));
}

ETHTransaction EVMPreparedCall::callTransaction(std::uint64_t nonce) const {
    return transactionOf(plan.chain, call, nonce, plan.to, plan.value, plan.data);
}

Bytes approvalCalldata(const EVMCallPlan& plan) {
    return erc20ApproveCalldata(plan.spender, UInt256::max());
}

bool needsApproval(const EVMCallPlan& plan, const UInt256& allowance) {
    return !plan.token.empty() && allowance < plan.required;
}

EVMPreparedCall preparedCallFromFigures(EVMCallPlan plan, bool approvalFirst,
                                        const EVMNodeFigures& figures,
                                        const std::optional<EVMFeeFloor>& replacing) {
    requireBelievableNodeFigures(figures);
    EVMPreparedCall prepared;
    if (approvalFirst) {
        prepared.approval =
            feesOf(figures, approvalFeeFactor, approvalGasLimit(figures.gasEstimate), replacing);
        prepared.call = feesOf(figures, plan.feeFactor, gasLimitWithMargin(0, plan.gasFloor));
        prepared.call.nonce = figures.nonce + 1;
        prepared.callLimitIsBound = true;
    } else {
        prepared.call = feesOf(figures, plan.feeFactor,
                               gasLimitWithMargin(figures.gasEstimate, plan.gasFloor), replacing);
    }
    const std::optional<UInt256> sum =
        prepared.call.maxFee.checkedAdd(prepared.approval ? prepared.approval->maxFee : UInt256());
    if (!sum) {
        throw std::range_error("The node's fees are out of range.");
    }
    prepared.maxFee = *sum;
    prepared.plan = std::move(plan);
    return prepared;
}

QCoro::Task<std::optional<UInt256>> readPlanAllowance(std::shared_ptr<JSONRPCClient> client,
                                                      EVMCallPlan plan, CancellationToken cancel) {
    if (plan.token.empty()) {
        co_return std::nullopt;
    }
    QCoro::Task<UInt256> reading =
        readAllowance(std::move(client), bytesToHex(plan.token),
                      hexToBytes(plan.sender).value_or(Bytes()), plan.spender, std::move(cancel));
    co_return co_await std::move(reading);
}

QCoro::Task<EVMNodeFigures> askForFirstTransaction(std::shared_ptr<JSONRPCClient> client,
                                                   EVMCallPlan plan, bool approvalFirst,
                                                   CancellationToken cancel) {
    QCoro::Task<EVMNodeFigures> asking =
        approvalFirst
            ? askNodeForTransaction(std::move(client), plan.sender, bytesToHex(plan.token),
                                    approvalCalldata(plan), std::move(cancel))
            : askNodeForTransaction(std::move(client), plan.sender, bytesToHex(plan.to), plan.data,
                                    std::move(cancel), plan.value);
    co_return co_await std::move(asking);
}

QCoro::Task<EVMPreparedCall> prepareEVMCall(std::shared_ptr<JSONRPCClient> client, EVMCallPlan plan,
                                            CancellationToken cancel,
                                            std::optional<EVMFeeFloor> replacing) {
    QCoro::Task<std::optional<UInt256>> reading = readPlanAllowance(client, plan, cancel);
    const std::optional<UInt256> allowance = co_await std::move(reading);
    const bool approvalFirst = allowance && needsApproval(plan, *allowance);
    QCoro::Task<EVMNodeFigures> asking =
        askForFirstTransaction(std::move(client), plan, approvalFirst, std::move(cancel));
    const EVMNodeFigures figures = co_await std::move(asking);
    co_return preparedCallFromFigures(std::move(plan), approvalFirst, figures, replacing);
}

std::string maxNetworkFeeText(const EVMPreparedCall& prepared) {
    return Amount{prepared.maxFee, 18}.exactText() + " " + nativeSymbol(prepared.plan.chain);
}

} // namespace qm
