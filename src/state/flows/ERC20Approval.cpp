#include "state/flows/ERC20Approval.h"

#include "core/encoding/Hex.h"
#include "services/evm/ERC20.h"
#include "services/evm/JSONRPCClient.h"
#include "state/flows/EVMTransactionSteps.h"
#include "state/flows/TransactionFlow.h"

#include <algorithm>
#include <optional>

namespace qm {
namespace {

constexpr std::uint64_t approvalGasFloor = 60'000;
constexpr std::size_t wordLength = 32;

const char* approvalText(ApprovalError::Kind kind) {
    switch (kind) {
    case ApprovalError::Kind::notConfirmed:
        return "The approval was not confirmed in time. Try again in a moment.";
    case ApprovalError::Kind::reverted:
        return "The approval was reverted on chain.";
    }
    return "";
}

// The run has ended (cancelled, or its flow is gone): nothing more may be sent.
void requireActive(const FlowRun& run) {
    if (!run.isActive()) {
        throw ApprovalError(ApprovalError::Kind::notConfirmed);
    }
}

} // namespace

ApprovalError::ApprovalError(Kind kind) : Error(approvalText(kind)), m_kind(kind) {}

std::uint64_t approvalGasLimit(std::uint64_t estimate) {
    return std::max(estimate, approvalGasFloor);
}

QCoro::Task<UInt256> readAllowance(std::shared_ptr<JSONRPCClient> client, std::string token,
                                   Bytes owner, Bytes spender, CancellationToken cancel) {
    QCoro::Task<std::string> calling = client->ethCall(
        std::move(token), bytesToHex(erc20AllowanceCalldata(owner, spender)), std::move(cancel));
    const std::string result = co_await std::move(calling);
    const std::optional<Bytes> bytes = hexToBytes(result);
    if (!bytes || bytes->size() < wordLength) {
        co_return UInt256();
    }
    co_return UInt256::fromBigEndianBytes(ByteView(bytes->data(), wordLength));
}

QCoro::Task<void> awaitApproval(FlowRun run, std::shared_ptr<JSONRPCClient> client,
                                std::string transactionHash) {
    QCoro::Task<std::optional<bool>> waiting =
        run.awaitChain(receiptProbe(std::move(client), transactionHash));
    const std::optional<bool> succeeded = co_await std::move(waiting);
    if (!succeeded) {
        throw ApprovalError(ApprovalError::Kind::notConfirmed);
    }
    // In a block: settled, and what it replaced with it.
    run.landed(transactionHash);
    if (!*succeeded) {
        throw ApprovalError(ApprovalError::Kind::reverted);
    }
}

QCoro::Task<void> sendApprovalAndAwait(FlowRun run, std::shared_ptr<JSONRPCClient> client,
                                       SignedBroadcast approval) {
    requireActive(run);
    const std::string hash = approval.id;
    QCoro::Task<bool> sending = broadcastSigned(run, std::move(approval));
    if (!co_await std::move(sending)) {
        // Settled (its answer lost, the chain silent) or ended: nothing more is sent.
        throw ApprovalError(ApprovalError::Kind::notConfirmed);
    }
    QCoro::Task<void> shown = run.animateProgress(0.25, 0.3);
    co_await std::move(shown);
    QCoro::Task<void> waiting = awaitApproval(run, std::move(client), hash);
    co_await std::move(waiting);
}

} // namespace qm
