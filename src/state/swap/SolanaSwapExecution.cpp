#include "state/swap/SolanaSwapExecution.h"

#include "core/crypto/Base58.h"
#include "core/encoding/Base64.h"
#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "services/solana/SolanaMessage.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/swap/AggregatorClient.h"
#include "services/swap/AggregatorTransaction.h"
#include "services/swap/SwapError.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/SolanaSignatureWatch.h"
#include "state/signing/Signer.h"
#include "state/swap/SolanaSwapCheck.h"

#include <exception>
#include <string_view>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

QCoro::Task<std::string> executeSwap(std::shared_ptr<AggregatorClient> aggregator,
                                     std::string signedWire, std::string requestId, std::string id,
                                     CancellationToken cancel) {
    QCoro::Task<AggregatorExecution> executing =
        aggregator->executeAggregatorSwap(std::move(signedWire), std::move(requestId), cancel);
    co_await std::move(executing);
    // Taken for execution: what it names is not our id's proof, the node follows our own.
    co_return id;
}

// The aggregator read the request and did not take it; an answer of its that may be lost is
// none (the node's word decides then).
bool isAggregatorRefusal(const std::exception& error) {
    const auto* failure = dynamic_cast<const SwapError*>(&error);
    return failure && !failure->answerLost();
}

// The signed swap as broadcastSigned sends it: handed to the aggregator under its order, looked
// up on the wallet's own node (which says when its blockhash can no longer land it, past
// `lastValid`). Kept with its message: a later press may only send the same transaction again
// while this one may land.
SignedBroadcast swapBroadcast(std::shared_ptr<AggregatorClient> aggregator,
                              std::shared_ptr<SolanaRPCClient> node, const Bytes& signedWire,
                              std::string requestId, std::string id, Bytes message,
                              std::uint64_t lastValid) {
    const std::string wire = base64Encode(signedWire);
    SignedBroadcast tx = solanaBroadcast(std::move(node), wire, id, lastValid);
    tx.send = [aggregator = std::move(aggregator), wire, requestId = std::move(requestId),
               id](CancellationToken cancel) {
        return executeSwap(aggregator, wire, requestId, id, std::move(cancel));
    };
    tx.refused = isAggregatorRefusal;
    tx.record.message = std::move(message);
    return tx;
}

std::string_view passwordText(const SecureBytes& password) {
    return {reinterpret_cast<const char*>(password.data()), password.size()};
}

// The aggregator built the transaction: the last valid height of its blockhash is not ours to
// know, and the order does not state one. Bounded from above on the wallet's own node before
// anything is signed (blockhashLastValidBound), never below what it is: a lagging node can only
// make the watch wait longer, never call a swap expired that could still land.
QCoro::Task<std::uint64_t> swapLastValid(std::shared_ptr<SolanaRPCClient> node,
                                         const Bytes& message, CancellationToken cancel) {
    const std::optional<SolanaMessage> parsed = SolanaMessage::parse(message);
    if (!parsed || !node) {
        throw SwapError::transactionFailed("Invalid TX format");
    }
    QCoro::Task<std::optional<std::uint64_t>> bounding =
        blockhashLastValidBound(std::move(node), base58Encode(parsed->recentBlockhash), cancel);
    const std::optional<std::uint64_t> lastValid = co_await std::move(bounding);
    if (!lastValid) {
        throw SwapError::transactionFailed(
            "The swap's blockhash is not valid on the wallet's Solana node; nothing was signed");
    }
    co_return *lastValid;
}

// The order's transaction checked on the wallet's own node and signed, when it is the earlier
// attempt that may still land or no such attempt is in the way (another order's fails before
// anything is signed).
QCoro::Task<SignedBroadcast> signSolanaSwap(FlowRun run, QPointer<AppState> state,
                                            std::shared_ptr<AggregatorClient> aggregator,
                                            std::shared_ptr<SolanaRPCClient> node,
                                            const SolanaSwapOrder& order,
                                            const AggregatorTransaction& transaction,
                                            const SecureBytes& password, EarlierAttempts earlier) {
    const SolanaSwapQuote& quote = order.quote;
    const Bytes message(transaction.message().begin(), transaction.message().end());
    requireSameAsEarlier(
        earlier, message,
        [] {
            throw SwapError::transactionFailed(
                "The last attempt of this swap may still go through until its blockhash "
                "expires, in about a minute; nothing was signed. Try again once it has "
                "expired.");
        },
        run);
    // Before the password is used: what the transaction would take, on the wallet's own node.
    SolanaSwapTerms terms{order.taker,    quote.inputMint,          quote.outputMint,
                          quote.inAmount, *quote.transactionBase64, message};
    auto checkingSwap = checkSolanaSwap(node, std::move(terms), run.token());
    co_await std::move(checkingSwap);
    if (!run.isActive() || !state) {
        co_return SignedBroadcast{};
    }
    QCoro::Task<std::uint64_t> bounding = swapLastValid(node, message, run.token());
    const std::uint64_t lastValid = co_await std::move(bounding);
    if (!run.isActive() || !state) {
        co_return SignedBroadcast{};
    }
    auto signing =
        state->signer().signSolanaMessage(order.walletID, passwordText(password), message);
    const Bytes signature = co_await std::move(signing);
    if (!run.isActive()) {
        co_return SignedBroadcast{};
    }
    // The transaction's id is its first signature, ours: what the chain is asked about.
    SignedBroadcast tx = swapBroadcast(std::move(aggregator), std::move(node),
                                       transaction.withTakerSignature(signature), *quote.requestId,
                                       base58Encode(signature), message, lastValid);
    tx.record.account = order.taker;
    tx.record.counterparty = quote.outputMint;
    co_return tx;
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
    run.useLedger(state->attemptLedger());

    // An earlier press's swap that the node knows now is the one this run follows; while one
    // may still land, only the same transaction may go again (another would land beside it).
    std::shared_ptr<SolanaRPCClient> node = state->networkManager().currentSolanaClient();
    QCoro::Task<std::optional<SignedBroadcast>> signing =
        earlierOrSigned(run, solanaAttemptScope(node, order.taker), [&](EarlierAttempts earlier) {
            return signSolanaSwap(run, state, aggregator, node, order, transaction, *password,
                                  std::move(earlier));
        });
    std::optional<SignedBroadcast> signedSwap = co_await std::move(signing);
    if (!signedSwap || !state) {
        co_return;
    }
    SignedBroadcast tx = std::move(*signedSwap);
    const std::string id = tx.id;
    // Every swap this flow sends is kept with its bound.
    const std::uint64_t lastValid = tx.record.lastValidBlockHeight.value_or(0);
    auto keyed = run.animateProgress(0.15, 0.3);
    co_await std::move(keyed);
    if (!run.isActive() || !state) {
        co_return;
    }
    auto signedShown = run.animateProgress(0.5, 0.3);
    co_await std::move(signedShown);
    if (!run.isActive()) {
        co_return;
    }

    run.setStep(Step::Broadcasting);
    auto sending = broadcastSigned(run, std::move(tx));
    if (!co_await std::move(sending)) {
        co_return;
    }
    auto left = run.animateProgress(0.95, 0.5);
    co_await std::move(left);
    run.setStep(Step::WaitingConfirmation);
    auto waiting = awaitSolanaSignature(run, node, id, lastValid);
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
