#include "state/send/SolanaSend.h"

#include "core/crypto/Base58.h"
#include "services/connections/NetworkManager.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/solana/SolanaTransaction.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/SolanaSignatureWatch.h"
#include "state/send/RefreshAfterBroadcast.h"
#include "state/send/SendError.h"
#include "state/signing/Signer.h"

#include <memory>
#include <utility>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

// The transfer signed with the blockhash of the moment, or an earlier attempt's while it may
// still land (the same transfer is then the same bytes); throws SendError::earlierMayLand for
// another transfer meanwhile (an earlier attempt of another sheet: EarlierAttemptError).
QCoro::Task<SignedBroadcast> signSolanaSend(FlowRun run, std::shared_ptr<SolanaRPCClient> client,
                                            SolanaSendRequest& request, EarlierAttempts earlier) {
    const QPointer<AppState> state = request.state;
    const SolanaPreparedSend& prepared = request.prepared;
    std::string blockhash;
    std::uint64_t lastValidBlockHeight = 0;
    if (earlier.conflict && !earlier.conflict->blockhash.empty()) {
        blockhash = earlier.conflict->blockhash;
        lastValidBlockHeight = earlier.conflict->lastValidBlockHeight.value_or(0);
    } else {
        // The fee is fixed: only the blockhash is the moment's.
        QCoro::Task<LatestBlockhashValue> fetching = client->getLatestBlockhash(run.token());
        const LatestBlockhashValue latest = co_await std::move(fetching);
        blockhash = latest.blockhash;
        lastValidBlockHeight = latest.lastValidBlockHeight;
    }
    QCoro::Task<void> animating = run.animateProgress(0.35, 0.3);
    co_await std::move(animating);

    Bytes message = SolanaTransaction::transferMessage(prepared.sender, prepared.recipient,
                                                       prepared.lamports, blockhash);
    requireSameAsEarlier(
        earlier, message, [] { throw SendError(SendError::Code::earlierMayLand); }, run);
    animating = run.animateProgress(0.5, 0.2);
    co_await std::move(animating);

    if (!state || !run.isActive()) {
        co_return SignedBroadcast{};
    }
    const std::string_view password(reinterpret_cast<const char*>(request.password.data()),
                                    request.password.size());
    QCoro::Task<Bytes> signing =
        state->signer().signSolanaMessage(request.walletID, password, message);
    const Bytes signature = co_await std::move(signing);
    request.password.clear();
    const std::string transaction = SolanaTransaction::signedTransactionBase64(signature, message);
    animating = run.animateProgress(0.7, 0.3);
    co_await std::move(animating);
    // The id is the signature, ours: what the chain is asked about, whatever the node answers.
    SignedBroadcast tx =
        solanaBroadcast(client, transaction, base58Encode(signature), lastValidBlockHeight);
    tx.record.account = base58Encode(prepared.sender);
    tx.record.message = std::move(message);
    tx.record.blockhash = std::move(blockhash);
    tx.record.counterparty = prepared.form.recipient;
    co_return tx;
}

} // namespace

QCoro::Task<void> runSolanaSend(FlowRun run, SolanaSendRequest request) {
    const QPointer<AppState> state = request.state;
    if (!state || !run.isActive()) {
        co_return;
    }
    if (state->solanaAccounts().empty()) {
        throw SendError(SendError::Code::noAccount);
    }
    run.useLedger(state->attemptLedger());
    QCoro::Task<void> animating = run.animateProgress(0.15, 0.3);
    co_await std::move(animating);

    if (!state || !run.isActive()) {
        co_return;
    }
    QCoro::Task<std::shared_ptr<SolanaRPCClient>> connecting =
        state->networkManager().connectedSolanaClient(run.token());
    const std::shared_ptr<SolanaRPCClient> client = co_await std::move(connecting);
    if (!run.isActive()) {
        co_return;
    }
    if (!client) {
        throw SendError::networkUnavailable("Cannot connect to Solana RPC");
    }
    // A transfer of an earlier press that the chain knows now is the one this send is.
    QCoro::Task<std::optional<SignedBroadcast>> signing =
        earlierOrSigned(run, solanaAttemptScope(client, base58Encode(request.prepared.sender)),
                        [&](EarlierAttempts earlier) {
                            return signSolanaSend(run, client, request, std::move(earlier));
                        });
    std::optional<SignedBroadcast> tx = co_await std::move(signing);
    if (!tx || !state) {
        co_return;
    }
    const std::string id = tx->id;
    const std::uint64_t lastValid = tx->record.lastValidBlockHeight.value_or(0);
    run.setStep(Step::Broadcasting);
    QCoro::Task<bool> submitting = broadcastSigned(run, std::move(*tx));
    const bool sent = co_await std::move(submitting);
    const RefreshAfterBroadcast refresh(state);
    if (!sent) {
        co_return;
    }
    animating = run.animateProgress(0.95, 0.5);
    co_await std::move(animating);

    if (!run.isActive()) {
        co_return;
    }
    run.setStep(Step::WaitingConfirmation);
    QCoro::Task<std::optional<SolanaOutcome>> waiting =
        awaitSolanaSignature(run, client, id, lastValid);
    const std::optional<SolanaOutcome> outcome = co_await std::move(waiting);
    if (!run.isActive()) {
        co_return;
    }
    if (outcome == SolanaOutcome::confirmed) {
        animating = run.animateProgress(1.0, 0.3);
        co_await std::move(animating);
        run.confirmed();
    } else if (outcome == SolanaOutcome::failed) {
        run.reverted(QStringLiteral("The transaction failed on the network"));
    } else if (outcome == SolanaOutcome::expired) {
        run.reverted(QStringLiteral("Expired before it landed"));
    } else {
        run.submitted();
    }
}

} // namespace qm
