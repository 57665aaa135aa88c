#include "state/flows/SolanaSignatureWatch.h"

#include "platform/async/PollUntil.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/solana/SolanaRPCError.h"
#include "state/flows/TransactionFlow.h"

#include <utility>
#include <vector>

namespace qm {
namespace {

// What the looks at one signature have seen so far.
struct SignatureWatch {
    std::optional<std::uint64_t> lastValid;
    // A look found the height past the last valid one and the signature unknown.
    bool unseenPastValid = false;
};

QCoro::Task<std::optional<SolanaOutcome>> signatureLook(std::shared_ptr<SolanaRPCClient> client,
                                                        std::string signature,
                                                        std::shared_ptr<SignatureWatch> watch,
                                                        CancellationToken attempt) {
    QCoro::Task<std::uint64_t> reading = client->getBlockHeight(attempt);
    const std::uint64_t height = co_await std::move(reading);
    if (!watch->lastValid) {
        watch->lastValid = height + blockhashValidBlocks;
    }
    // The statuses searched in the transaction history too (getSignatureStatuses does).
    QCoro::Task<SignatureStatusesResult> asking =
        client->getSignatureStatuses({std::move(signature)}, attempt);
    const std::vector<std::optional<SignatureStatus>> statuses = (co_await std::move(asking)).value;
    const std::optional<SignatureStatus> status =
        statuses.empty() ? std::nullopt : statuses.front();
    if (!status) {
        if (height <= *watch->lastValid) {
            co_return std::nullopt;
        }
        // Expired only once one more look after this one still finds nothing: a status index
        // that lags behind the height would otherwise bury a transaction that landed.
        if (watch->unseenPastValid) {
            co_return SolanaOutcome::expired;
        }
        watch->unseenPastValid = true;
        co_return std::nullopt;
    }
    watch->unseenPastValid = false;
    const std::optional<bool> verdict = signatureVerdict(status);
    if (!verdict) {
        co_return std::nullopt;
    }
    co_return *verdict ? SolanaOutcome::confirmed : SolanaOutcome::failed;
}

QCoro::Task<std::string> sendWire(std::shared_ptr<SolanaRPCClient> client, std::string wire,
                                  CancellationToken cancel) {
    QCoro::Task<std::string> sending = client->sendTransaction(std::move(wire), std::move(cancel));
    co_return co_await std::move(sending);
}

QCoro::Task<bool> knownToCluster(std::shared_ptr<SolanaRPCClient> client, std::string signature,
                                 CancellationToken cancel) {
    QCoro::Task<SignatureStatusesResult> asking =
        client->getSignatureStatuses({std::move(signature)}, std::move(cancel));
    const std::vector<std::optional<SignatureStatus>> statuses = (co_await std::move(asking)).value;
    co_return !statuses.empty() && statuses.front().has_value();
}

// One look: the height past the last valid one and the signature's status unknown. Unlike the
// watch above this needs no second look of its own: whoever asks it before forgetting a
// transaction asks again a few poll intervals later (earlierAttempts), and a look that finds
// the signature wins.
QCoro::Task<bool> lapsedOnCluster(std::shared_ptr<SolanaRPCClient> client, std::string signature,
                                  std::shared_ptr<SignatureWatch> watch, CancellationToken cancel) {
    QCoro::Task<std::uint64_t> reading = client->getBlockHeight(cancel);
    const std::uint64_t height = co_await std::move(reading);
    if (!watch->lastValid) {
        watch->lastValid = height + blockhashValidBlocks;
    }
    if (height <= *watch->lastValid) {
        co_return false;
    }
    QCoro::Task<bool> asking = knownToCluster(std::move(client), std::move(signature), cancel);
    co_return !co_await std::move(asking);
}

bool isNodeRefusal(const std::exception& error) {
    const auto* failure = dynamic_cast<const SolanaRPCError*>(&error);
    return failure && failure->isRefusal();
}

} // namespace

std::optional<bool> signatureVerdict(const std::optional<SignatureStatus>& status) {
    if (!status) {
        return std::nullopt;
    }
    if (status->err) {
        return false;
    }
    const std::string level = status->confirmationStatus.value_or(std::string());
    if (level == "confirmed" || level == "finalized") {
        return true;
    }
    return std::nullopt;
}

QCoro::Task<std::optional<SolanaOutcome>>
awaitSolanaSignature(FlowRun run, std::shared_ptr<SolanaRPCClient> client, std::string signature,
                     std::optional<std::uint64_t> lastValidBlockHeight) {
    const TransactionFlow::Limits* limits = run.limits();
    if (!limits || !run.isActive()) {
        co_return std::nullopt;
    }
    auto watch = std::make_shared<SignatureWatch>();
    watch->lastValid = lastValidBlockHeight;
    QCoro::Task<std::optional<SolanaOutcome>> waiting = pollUntil<SolanaOutcome>(
        [client = std::move(client), signature = std::move(signature),
         watch](CancellationToken attempt) {
            return signatureLook(client, signature, watch, std::move(attempt));
        },
        PollLimits(limits->pollInterval, limits->confirmationTimeout), run.token());
    co_return co_await std::move(waiting);
}

SignedBroadcast solanaBroadcast(std::shared_ptr<SolanaRPCClient> client, std::string transaction,
                                std::string signature,
                                std::optional<std::uint64_t> lastValidBlockHeight) {
    SignedBroadcast tx;
    tx.id = std::move(signature);
    tx.send = [client, wire = std::move(transaction)](CancellationToken cancel) {
        return sendWire(client, wire, std::move(cancel));
    };
    tx.lookup = [client, id = tx.id](CancellationToken cancel) {
        return knownToCluster(client, id, std::move(cancel));
    };
    auto watch = std::make_shared<SignatureWatch>();
    watch->lastValid = lastValidBlockHeight;
    tx.lapsed = [client, id = tx.id, watch](CancellationToken cancel) {
        return lapsedOnCluster(client, id, watch, std::move(cancel));
    };
    tx.refused = isNodeRefusal;
    return tx;
}

} // namespace qm
