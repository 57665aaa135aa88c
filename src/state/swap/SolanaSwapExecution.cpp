#include "state/swap/SolanaSwapExecution.h"

#include "core/crypto/Base58.h"
#include "core/encoding/Base64.h"
#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "services/network/HttpSession.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/swap/AggregatorClient.h"
#include "services/swap/AggregatorTransaction.h"
#include "services/swap/SwapError.h"
#include "state/AppState.h"
#include "state/flows/SolanaSignatureWatch.h"
#include "state/signing/Signer.h"
#include "state/swap/SolanaSwapCheck.h"

#include <exception>
#include <string_view>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

// Whether the node knows the signature at all; a failure to ask counts as no.
QCoro::Task<bool> knownToNode(std::shared_ptr<SolanaRPCClient> client, std::string signature,
                              CancellationToken cancel) {
    try {
        auto asking = client->getSignatureStatuses({std::move(signature)}, cancel);
        const std::vector<std::optional<SignatureStatus>> statuses = co_await std::move(asking);
        co_return !statuses.empty() && statuses.front().has_value();
    } catch (const std::exception&) {
        co_return false;
    }
}

std::string_view passwordText(const SecureBytes& password) {
    return {reinterpret_cast<const char*>(password.data()), password.size()};
}

} // namespace

QCoro::Task<void> runSolanaSwap(FlowRun run, QPointer<AppState> state,
                                std::shared_ptr<AggregatorClient> aggregator, SolanaSwapOrder order,
                                std::shared_ptr<const SecureBytes> password) {
    const std::optional<Bytes> takerKey = base58Decode(order.taker);
    if (!state || !aggregator || order.taker.empty() || !takerKey) {
        throw SwapError::transactionFailed("No account");
    }
    const SolanaSwapQuote& quote = order.quote;
    if (!quote.requestId || !quote.transactionBase64) {
        throw SwapError::transactionFailed("Invalid transaction data");
    }
    const std::optional<Bytes> wire = base64Decode(*quote.transactionBase64);
    if (!wire) {
        throw SwapError::transactionFailed("Invalid transaction data");
    }
    // Read before anything is signed: only the wallet's own slot is ever written.
    const AggregatorTransaction transaction = AggregatorTransaction::parse(*wire, *takerKey);
    const CancellationToken& cancel = run.token();

    // Before the password is used: what the transaction would take, on the wallet's own node.
    SolanaSwapTerms terms{order.taker,
                          quote.inputMint,
                          quote.outputMint,
                          quote.inAmount,
                          *quote.transactionBase64,
                          Bytes(transaction.message().begin(), transaction.message().end())};
    auto checking =
        checkSolanaSwap(state->networkManager().currentSolanaClient(), std::move(terms), cancel);
    co_await std::move(checking);
    if (!run.isActive() || !state) {
        co_return;
    }

    auto signing = state->signer().signSolanaMessage(
        order.walletID, passwordText(*password),
        Bytes(transaction.message().begin(), transaction.message().end()));
    const Bytes signature = co_await std::move(signing);
    if (!run.isActive() || !state) {
        co_return;
    }
    const Bytes signedWire = transaction.withTakerSignature(signature);
    // The transaction's id is its first signature, ours: what the chain is asked about.
    const std::string id = base58Encode(signature);
    auto keyed = run.animateProgress(0.15, 0.3);
    co_await std::move(keyed);
    if (!run.isActive() || !state) {
        co_return;
    }
    std::shared_ptr<SolanaRPCClient> node = state->networkManager().currentSolanaClient();
    auto signedShown = run.animateProgress(0.5, 0.3);
    co_await std::move(signedShown);
    if (!run.isActive()) {
        co_return;
    }

    run.setStep(Step::Broadcasting);
    std::exception_ptr refusal;
    try {
        auto executing =
            aggregator->executeAggregatorSwap(base64Encode(signedWire), *quote.requestId, cancel);
        co_await std::move(executing);
    } catch (const HttpTransportError& error) {
        // The request may have reached the aggregator and the transaction the chain: follow
        // its signature rather than offer a second swap.
        if (error.kind() == HttpTransportError::Kind::aborted) {
            throw;
        }
    } catch (const SwapError&) {
        refusal = std::current_exception();
    }
    if (refusal) {
        // A refusal can follow a transaction that went out (a request sent again after a
        // lost answer, a failure on chain): only one the node has never seen sends the user
        // back to the review.
        auto looking = knownToNode(node, id, cancel);
        const bool known = co_await std::move(looking);
        if (!known) {
            std::rethrow_exception(refusal);
        }
    }
    if (!run.isActive()) {
        co_return;
    }
    run.broadcasted(id);
    auto left = run.animateProgress(0.95, 0.5);
    co_await std::move(left);
    run.setStep(Step::WaitingConfirmation);
    // The aggregator built the transaction: its blockhash's last valid height is not ours to
    // know, so the check fixes one from the first height it sees.
    auto waiting = awaitSolanaSignature(run, node, id, std::nullopt);
    const std::optional<SolanaOutcome> outcome = co_await std::move(waiting);
    if (!run.isActive()) {
        co_return;
    }
    const bool expired = outcome == SolanaOutcome::expired;
    if (state && !expired) {
        AppState* owner = state.data();
        TaskHandle::spawn(owner,
                          [owner](CancellationToken token) { return owner->refreshAll(token); });
    }
    if (expired) {
        run.reverted(
            QString::fromUtf8(SwapError::transactionFailed("Expired before it landed").what()));
    } else if (!outcome) {
        run.submitted();
    } else if (outcome == SolanaOutcome::confirmed) {
        auto done = run.animateProgress(1.0, 0.3);
        co_await std::move(done);
        run.confirmed();
    } else {
        run.reverted(
            QString::fromUtf8(SwapError::transactionFailed("Swap failed on chain").what()));
    }
}

} // namespace qm
