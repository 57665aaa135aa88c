#include "state/send/SolanaSend.h"

#include "core/crypto/Base58.h"
#include "platform/async/PollUntil.h"
#include "services/connections/NetworkManager.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/solana/SolanaTransaction.h"
#include "state/AppState.h"
#include "state/send/RefreshAfterBroadcast.h"
#include "state/send/SendError.h"
#include "state/signing/Signer.h"

#include <memory>
#include <utility>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

enum class SignatureOutcome {
    succeeded, // confirmed by the cluster without an error
    failed,    // processed with an error
    expired,   // not seen, and its blockhash can no longer land it
};

// What the cluster says of `signature` now; none while it may still land.
QCoro::Task<std::optional<SignatureOutcome>>
signatureOutcome(std::shared_ptr<SolanaRPCClient> client, std::string signature,
                 std::uint64_t lastValidBlockHeight, CancellationToken attempt) {
    QCoro::Task<std::vector<std::optional<SignatureStatus>>> asking =
        client->getSignatureStatuses({signature}, attempt);
    const std::vector<std::optional<SignatureStatus>> statuses = co_await std::move(asking);
    if (!statuses.empty() && statuses.front()) {
        const SignatureStatus& status = *statuses.front();
        if (status.err) {
            co_return SignatureOutcome::failed;
        }
        // "processed" alone may still be dropped with its fork.
        if (status.confirmationStatus == "confirmed" || status.confirmationStatus == "finalized") {
            co_return SignatureOutcome::succeeded;
        }
        co_return std::nullopt;
    }
    QCoro::Task<std::uint64_t> measuring = client->getBlockHeight(attempt);
    const std::uint64_t height = co_await std::move(measuring);
    if (height > lastValidBlockHeight) {
        co_return SignatureOutcome::expired;
    }
    co_return std::nullopt;
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
    const SolanaPreparedSend& prepared = request.prepared;
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
    // The fee is fixed: only the blockhash is the moment's.
    QCoro::Task<LatestBlockhashValue> fetching = client->getLatestBlockhash(run.token());
    const LatestBlockhashValue blockhash = co_await std::move(fetching);
    animating = run.animateProgress(0.35, 0.3);
    co_await std::move(animating);

    Bytes message = SolanaTransaction::transferMessage(prepared.sender, prepared.recipient,
                                                       prepared.lamports, blockhash.blockhash);
    animating = run.animateProgress(0.5, 0.2);
    co_await std::move(animating);

    if (!state || !run.isActive()) {
        co_return;
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

    if (!run.isActive()) {
        co_return;
    }
    run.setStep(Step::Broadcasting);
    QCoro::Task<std::string> submitting = client->sendTransaction(transaction, run.token());
    co_await std::move(submitting);
    // The id is the signature that left, whatever the node answered.
    const std::string id = base58Encode(signature);
    run.broadcasted(id);
    const RefreshAfterBroadcast refresh(state);
    animating = run.animateProgress(0.95, 0.5);
    co_await std::move(animating);

    const TransactionFlow::Limits* limits = run.limits();
    if (!limits || !run.isActive()) {
        co_return;
    }
    run.setStep(Step::WaitingConfirmation);
    const std::uint64_t lastValid = blockhash.lastValidBlockHeight;
    QCoro::Task<std::optional<SignatureOutcome>> waiting = pollUntil<SignatureOutcome>(
        [client, id, lastValid](CancellationToken attempt) {
            return signatureOutcome(client, id, lastValid, attempt);
        },
        PollLimits(limits->pollInterval, limits->confirmationTimeout), run.token());
    const std::optional<SignatureOutcome> outcome = co_await std::move(waiting);
    if (!run.isActive()) {
        co_return;
    }
    if (outcome == SignatureOutcome::succeeded) {
        animating = run.animateProgress(1.0, 0.3);
        co_await std::move(animating);
        run.confirmed();
    } else if (outcome == SignatureOutcome::failed) {
        run.reverted(QStringLiteral("The transaction failed on the network"));
    } else {
        run.submitted();
    }
}

} // namespace qm
