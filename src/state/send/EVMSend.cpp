#include "state/send/EVMSend.h"

#include "core/encoding/Hex.h"
#include "services/evm/JSONRPCClient.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/EVMReplacementFee.h"
#include "state/flows/EVMTransactionSteps.h"
#include "state/send/RefreshAfterBroadcast.h"
#include "state/send/SendError.h"

#include <memory>
#include <utility>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

// Nothing signed when the node's gas price is above the prepared fee cap or its estimate above
// the prepared gas limit, or when the transaction at `nonce` would not pay what a pool asks to
// replace an earlier attempt it may hold there: the send is prepared again from these figures
// (and that floor), handed to `revised`, and the failure names its max fee.
void checkAgainstNode(const EVMSendRequest& request, const EVMNodeFigures& figures,
                      std::uint64_t nonce, const std::vector<UnsettledAttempt>& attempts) {
    const EVMPreparedSend& prepared = request.prepared;
    if (!(prepared.maxFeePerGas < figures.gasPrice) && figures.gasEstimate <= prepared.gasLimit &&
        paysReplacement(prepared.transaction(nonce), attempts)) {
        return;
    }
    const EVMPreparedSend fresh =
        prepareEVMFromFigures(prepared.form, prepared.sender, prepared.transfer, figures,
                              replacementFloor(attempts, nonce));
    if (request.revised) {
        request.revised(fresh);
    }
    throw SendError::maxFeeRevised(evmMaxFeeText(fresh), prepared.maxFee < fresh.maxFee);
}

// The prepared send checked against the node and signed, with the nonce of the moment, or the
// earlier attempts' while the chain has not mined past it (so at most one of them can land).
QCoro::Task<SignedBroadcast> signEVMSend(FlowRun run, std::shared_ptr<JSONRPCClient> client,
                                         EVMSendRequest& request, EarlierAttempts earlier) {
    const QPointer<AppState> state = request.state;
    const EVMTransfer& transfer = request.prepared.transfer;
    QCoro::Task<EVMNodeFigures> asking =
        askNodeForTransaction(client, request.prepared.sender, bytesToHex(transfer.to),
                              transfer.data, run.token(), transfer.value);
    const EVMNodeFigures figures = co_await std::move(asking);
    QCoro::Task<std::uint64_t> choosing =
        conflictingNonce(client, explorerOf(state), std::move(earlier), figures.nonce, run.token());
    const std::uint64_t nonce = co_await std::move(choosing);
    QCoro::Task<void> animating = run.animateProgress(0.25, 0.3);
    co_await std::move(animating);
    if (!state || !run.isActive()) {
        co_return SignedBroadcast{};
    }
    checkAgainstNode(
        request, figures, nonce,
        state->attemptLedger().of(request.prepared.form.chain, request.prepared.sender));
    animating = run.animateProgress(0.4, 0.2);
    co_await std::move(animating);

    ETHTransaction transaction = request.prepared.transaction(nonce);
    animating = run.animateProgress(0.5, 0.2);
    co_await std::move(animating);

    if (!state || !run.isActive()) {
        co_return SignedBroadcast{};
    }
    // Dropped (and wiped) as soon as the signer has used it.
    auto password = std::make_shared<const SecureBytes>(std::move(request.password));
    QCoro::Task<Bytes> signing = signWithWallet(state, password, std::move(transaction));
    password.reset();
    Bytes signedTransaction = co_await std::move(signing);
    animating = run.animateProgress(0.7, 0.3);
    co_await std::move(animating);
    SignedBroadcast tx =
        evmBroadcast(client, explorerOf(state),
                     EVMSigned{std::move(signedTransaction), request.prepared.sender, nonce,
                               figures.latestBlock, request.prepared.form.chain});
    const EVMSendForm& form = request.prepared.form;
    tx.record.counterparty = form.recipient;
    if (form.token) {
        tx.record.tokenSymbol = form.token->symbol;
        tx.record.contractAddress = form.token->contractAddress;
    }
    co_return tx;
}

} // namespace

QCoro::Task<void> runEVMSend(FlowRun run, EVMSendRequest request) {
    const QPointer<AppState> state = request.state;
    if (!state || !run.isActive()) {
        co_return;
    }
    const Chain chain = request.prepared.form.chain;
    if (!isEVMChain(chain) || state->evmAccounts(chain).empty()) {
        throw SendError(SendError::Code::noAccount);
    }
    run.useLedger(state->attemptLedger());
    QCoro::Task<void> animating = run.animateProgress(0.1, 0.3);
    co_await std::move(animating);

    if (!state || !run.isActive()) {
        co_return;
    }
    QCoro::Task<std::shared_ptr<JSONRPCClient>> connecting = evmClient(state, chain, run.token());
    const std::shared_ptr<JSONRPCClient> client = co_await std::move(connecting);
    if (!run.isActive()) {
        co_return;
    }
    // A transaction of an earlier press that the chain knows now is the one this send is.
    QCoro::Task<std::optional<SignedBroadcast>> signing = earlierOrSigned(
        run, evmAttemptScope(client, explorerOf(state), chain, request.prepared.sender),
        [&](EarlierAttempts earlier) {
            return signEVMSend(run, client, request, std::move(earlier));
        });
    std::optional<SignedBroadcast> tx = co_await std::move(signing);
    if (!tx || !state) {
        co_return;
    }
    run.setStep(Step::Broadcasting);
    const std::string hash = tx->id;
    QCoro::Task<bool> submitting = broadcastSigned(run, std::move(*tx));
    const bool sent = co_await std::move(submitting);
    const RefreshAfterBroadcast refresh(state);
    if (!sent) {
        co_return;
    }
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
