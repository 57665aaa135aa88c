#include "state/send/SolanaSend.h"

#include "core/crypto/Base58.h"
#include "services/connections/NetworkManager.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/solana/SolanaTransaction.h"
#include "state/AppState.h"
#include "state/flows/SolanaSignatureWatch.h"
#include "state/send/RefreshAfterBroadcast.h"
#include "state/send/SendError.h"
#include "state/signing/Signer.h"

#include <memory>
#include <utility>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

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
    // The id is the signature, ours: what the chain is asked about, whatever the node answers.
    const std::string id = base58Encode(signature);
    QCoro::Task<bool> submitting = broadcastSigned(
        run, solanaBroadcast(client, transaction, id, blockhash.lastValidBlockHeight));
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
        awaitSolanaSignature(run, client, id, blockhash.lastValidBlockHeight);
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
