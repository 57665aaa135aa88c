#include "state/flows/SolanaSignatureWatch.h"

#include "platform/async/PollUntil.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/solana/SolanaRPCError.h"
#include "state/flows/TransactionFlow.h"

#include <limits>
#include <utility>
#include <vector>

namespace qm {
namespace {

std::optional<SignatureStatus> firstStatus(const SignatureStatusesResult& statuses) {
    return statuses.value.empty() ? std::nullopt : statuses.value.front();
}

QCoro::Task<EpochInfo> readEpoch(const std::shared_ptr<SolanaRPCClient>& client,
                                 CancellationToken cancel) {
    QCoro::Task<EpochInfo> reading = client->getEpochInfo(std::move(cancel));
    co_return co_await std::move(reading);
}

// The statuses searched in the transaction history too (getSignatureStatuses does).
QCoro::Task<SignatureStatusesResult> readStatus(const std::shared_ptr<SolanaRPCClient>& client,
                                                std::string signature, CancellationToken cancel) {
    QCoro::Task<SignatureStatusesResult> asking =
        client->getSignatureStatuses({std::move(signature)}, std::move(cancel));
    co_return co_await std::move(asking);
}

// One look of the watch: the slot and height first, so the status read after them speaks, on
// a node that is not behind, for a slot at or past theirs.
QCoro::Task<std::optional<SolanaOutcome>> signatureLook(std::shared_ptr<SolanaRPCClient> client,
                                                        std::string signature,
                                                        std::uint64_t lastValid,
                                                        CancellationToken attempt) {
    QCoro::Task<EpochInfo> reading = readEpoch(client, attempt);
    const EpochInfo epoch = co_await std::move(reading);
    QCoro::Task<SignatureStatusesResult> asking =
        readStatus(client, std::move(signature), std::move(attempt));
    const SignatureStatusesResult statuses = co_await std::move(asking);
    if (provesExpiry(epoch, statuses, lastValid)) {
        co_return SolanaOutcome::expired;
    }
    const std::optional<bool> verdict = signatureVerdict(firstStatus(statuses));
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
        readStatus(client, std::move(signature), std::move(cancel));
    co_return firstStatus(co_await std::move(asking)).has_value();
}

// One look, as the watch's: the status is only asked once the height is past the last valid
// one.
QCoro::Task<bool> lapsedOnCluster(std::shared_ptr<SolanaRPCClient> client, std::string signature,
                                  std::uint64_t lastValid, CancellationToken cancel) {
    QCoro::Task<EpochInfo> reading = readEpoch(client, cancel);
    const EpochInfo epoch = co_await std::move(reading);
    if (epoch.blockHeight <= lastValid) {
        co_return false;
    }
    QCoro::Task<SignatureStatusesResult> asking =
        readStatus(client, std::move(signature), std::move(cancel));
    co_return provesExpiry(epoch, co_await std::move(asking), lastValid);
}

bool isNodeRefusal(const std::exception& error) {
    const auto* failure = dynamic_cast<const SolanaRPCError*>(&error);
    return failure && failure->isRefusal();
}

QCoro::Task<bool> hasVerdict(std::shared_ptr<SolanaRPCClient> client, std::string signature,
                             CancellationToken cancel) {
    QCoro::Task<SignatureStatusesResult> asking =
        readStatus(client, std::move(signature), std::move(cancel));
    co_return signatureVerdict(firstStatus(co_await std::move(asking))).has_value();
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

bool provesExpiry(const EpochInfo& epoch, const SignatureStatusesResult& statuses,
                  std::uint64_t lastValidBlockHeight) {
    return epoch.blockHeight > lastValidBlockHeight && !firstStatus(statuses) &&
           statuses.contextSlot && *statuses.contextSlot >= epoch.absoluteSlot;
}

QCoro::Task<std::optional<SolanaOutcome>>
awaitSolanaSignature(FlowRun run, std::shared_ptr<SolanaRPCClient> client, std::string signature,
                     std::uint64_t lastValidBlockHeight) {
    const TransactionFlow::Limits* limits = run.limits();
    if (!limits || !run.isActive()) {
        co_return std::nullopt;
    }
    QCoro::Task<std::optional<SolanaOutcome>> waiting = pollUntil<SolanaOutcome>(
        [client = std::move(client), signature = std::move(signature),
         lastValidBlockHeight](CancellationToken attempt) {
            return signatureLook(client, signature, lastValidBlockHeight, std::move(attempt));
        },
        PollLimits(limits->pollInterval, limits->confirmationTimeout), run.token());
    co_return co_await std::move(waiting);
}

SignedBroadcast solanaBroadcast(std::shared_ptr<SolanaRPCClient> client, std::string transaction,
                                std::string signature, std::uint64_t lastValidBlockHeight) {
    SignedBroadcast tx;
    tx.id = std::move(signature);
    tx.send = [client, wire = transaction](CancellationToken cancel) {
        return sendWire(client, wire, std::move(cancel));
    };
    tx.lookup = [client, id = tx.id](CancellationToken cancel) {
        return knownToCluster(client, id, std::move(cancel));
    };
    tx.lapsed = [client, id = tx.id, lastValidBlockHeight](CancellationToken cancel) {
        return lapsedOnCluster(client, id, lastValidBlockHeight, std::move(cancel));
    };
    tx.landed = [client, id = tx.id](CancellationToken cancel) {
        return hasVerdict(client, id, std::move(cancel));
    };
    tx.refused = isNodeRefusal;
    tx.record.chain = Chain::solana;
    tx.record.id = tx.id;
    tx.record.wire = std::move(transaction);
    tx.record.lastValidBlockHeight = lastValidBlockHeight;
    return tx;
}

QCoro::Task<std::optional<std::uint64_t>>
blockhashLastValidBound(std::shared_ptr<SolanaRPCClient> client, std::string blockhash,
                        CancellationToken cancel) {
    QCoro::Task<BlockhashValidity> checking =
        client->isBlockhashValid(std::move(blockhash), cancel);
    const BlockhashValidity validity = co_await std::move(checking);
    if (!validity.valid) {
        co_return std::nullopt;
    }
    // Read after the validity: on a node that is not behind, at a slot at or past its own.
    QCoro::Task<EpochInfo> reading = readEpoch(client, std::move(cancel));
    const EpochInfo epoch = co_await std::move(reading);
    if (epoch.absoluteSlot < validity.contextSlot ||
        epoch.blockHeight > std::numeric_limits<std::uint64_t>::max() - blockhashValidBlocks) {
        co_return std::nullopt;
    }
    co_return epoch.blockHeight + blockhashValidBlocks;
}

SignedBroadcast solanaAttempt(std::shared_ptr<SolanaRPCClient> client,
                              const UnsettledAttempt& stored) {
    // Every stored Solana attempt has its bound; one without could only ever wait.
    SignedBroadcast tx = solanaBroadcast(
        std::move(client), stored.wire, stored.id,
        stored.lastValidBlockHeight.value_or(std::numeric_limits<std::uint64_t>::max()));
    if (!namedSolanaTransaction(stored)) {
        // The cluster would refuse them anyway.
        sendNothing(tx);
    }
    tx.record = stored;
    return tx;
}

AttemptScope solanaAttemptScope(std::shared_ptr<SolanaRPCClient> client, const std::string& owner) {
    AttemptScope scope;
    scope.chain = Chain::solana;
    scope.account = owner;
    scope.revive = [client = std::move(client)](const UnsettledAttempt& stored) {
        return solanaAttempt(client, stored);
    };
    return scope;
}

void requireSameAsEarlier(const EarlierAttempts& earlier, const Bytes& message,
                          const std::function<void()>& sameSheet, const FlowRun& run) {
    if (!earlier.conflict || earlier.conflict->message == message) {
        return;
    }
    if (earlier.conflict->origin == run.origin({}) && sameSheet) {
        sameSheet();
    }
    throw EarlierAttemptError::mayStillLand(*earlier.conflict);
}

} // namespace qm
