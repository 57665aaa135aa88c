#include "state/sale/NOVRSaleFlow.h"

#include "core/encoding/Hex.h"
#include "core/model/Chain.h"
#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/ERC20.h"
#include "services/evm/JSONRPCClient.h"
#include "services/sale/NOVRError.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"
#include "state/flows/ERC20Approval.h"
#include "state/flows/EVMTransactionSteps.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

constexpr std::uint64_t saleGasFloor = 200'000;
constexpr std::uint64_t saleFeeFactor = 3;

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

QCoro::Task<void> runSteps(FlowRun run, QPointer<AppState> state, NOVRSaleOrder order,
                           std::shared_ptr<const SecureBytes> password) {
    requireActive(run, state);
    const std::vector<EVMAccountState>& accounts = state->evmAccounts(Chain::arbitrum);
    if (accounts.empty()) {
        throw NOVRError::noAccount();
    }
    const std::string sender = accounts.front().account.address;
    const std::optional<Bytes> senderBytes = hexToBytes(sender);
    if (!senderBytes || senderBytes->size() != 20) {
        throw NOVRError::poolCallFailed("Invalid sender address");
    }
    QCoro::Task<void> started = run.animateProgress(0.05, 0.2);
    co_await std::move(started);
    requireActive(run, state);

    const std::shared_ptr<JSONRPCClient> client =
        state->networkManager().evmClient(Chain::arbitrum);
    const Bytes sale = saleAddressBytes(novrSaleContractAddress);
    // Nothing is approved or sent unless the sale contract answers at its address (a call to
    // an address without code succeeds, and so would a buy sent there).
    QCoro::Task<UInt256> probing = fetchFloorPrice(client, run.token());
    co_await std::move(probing);
    requireActive(run, state);
    if (order.amount.isZero()) {
        throw NOVRError::invalidAmount();
    }
    const bool buying = order.direction == NOVRSaleOrder::Direction::buy;
    if (buying && !order.maxCost) {
        throw NOVRError::invalidAmount();
    }
    const Bytes calldata =
        buying ? buyCalldata(order.amount, *order.maxCost) : sellCalldata(order.amount);
    const std::string token(buying ? usdcArbitrumAddress : novrTokenAddress);
    const UInt256 required = buying ? *order.maxCost : order.amount;

    QCoro::Task<UInt256> reading = readAllowance(client, token, *senderBytes, sale, run.token());
    const UInt256 allowance = co_await std::move(reading);
    requireActive(run, state);
    QCoro::Task<void> read = run.animateProgress(0.1, 0.2);
    co_await std::move(read);
    requireActive(run, state);
    if (allowance >= required) {
        QCoro::Task<void> enough = run.animateProgress(0.3, 0.2);
        co_await std::move(enough);
    } else {
        run.setStep(Step::Approving);
        const std::optional<Bytes> tokenBytes = hexToBytes(token);
        if (!tokenBytes || tokenBytes->size() != 20) {
            throw NOVRError::poolCallFailed("Invalid token address");
        }
        QCoro::Task<void> approving = approveAndAwait(run, state, password, client, Chain::arbitrum,
                                                      sender, *tokenBytes, sale);
        co_await std::move(approving);
        requireActive(run, state);
        QCoro::Task<void> approved = run.animateProgress(0.3, 0.2);
        co_await std::move(approved);
    }
    requireActive(run, state);

    run.setStep(Step::Signing);
    QCoro::Task<EVMNodeFigures> asking = askNodeForTransaction(
        client, sender, std::string(novrSaleContractAddress), calldata, run.token());
    const EVMNodeFigures figures = co_await std::move(asking);
    requireActive(run, state);
    const ETHTransaction transaction =
        buildEVMTransaction(Chain::arbitrum, sale, UInt256(), calldata, figures,
                            gasLimitWithMargin(figures.gasEstimate, saleGasFloor), saleFeeFactor);
    QCoro::Task<void> estimated = run.animateProgress(0.5, 0.3);
    co_await std::move(estimated);
    requireActive(run, state);

    QCoro::Task<Bytes> signing = signWithWallet(state, password, transaction);
    const Bytes signedTransaction = co_await std::move(signing);
    requireActive(run, state);
    QCoro::Task<void> signedProgress = run.animateProgress(0.7, 0.3);
    co_await std::move(signedProgress);
    requireActive(run, state);

    run.setStep(Step::Broadcasting);
    QCoro::Task<std::string> sending =
        client->sendRawTransaction(bytesToHex(signedTransaction), run.token());
    const std::string hash = co_await std::move(sending);
    run.broadcasted(hash);
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

QCoro::Task<void> runNOVRSale(FlowRun run, QPointer<AppState> state, NOVRSaleOrder order,
                              std::shared_ptr<const SecureBytes> password) {
    try {
        QCoro::Task<void> steps = runSteps(run, state, order, password);
        co_await std::move(steps);
    } catch (const RunEnded&) {
        // The flow or the state has gone: nobody is left to tell.
    }
}

bool startNOVRSale(TransactionFlow& flow, QPointer<AppState> state, NOVRSaleOrder order,
                   SecureBytes password) {
    auto secret = std::make_shared<const SecureBytes>(std::move(password));
    return flow.start(Step::CheckingAllowance, [state, order, secret](FlowRun run) {
        return runNOVRSale(std::move(run), state, order, secret);
    });
}

} // namespace qm
