#pragma once
// Following a Solana transaction by its signature, one check for every flow that sends one
// (the send, the swap), and the transaction as the flow base sends it (SignedBroadcast).
// GUI thread only.

#include "services/solana/SolanaRPCTypes.h"
#include "state/flows/SignedBroadcast.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class FlowRun;
class SolanaRPCClient;

// A blockhash stays usable for this many blocks past the height at which it was made: a
// transaction with a blockhash that was valid at some slot can land no later than the block
// height at that slot plus this.
inline constexpr std::uint64_t blockhashValidBlocks = 150;

// One look at a signature: true confirmed (at "confirmed" or "finalized") without error,
// false landed with an error, none not yet (unknown, or only "processed").
std::optional<bool> signatureVerdict(const std::optional<SignatureStatus>& status);

enum class SolanaOutcome {
    confirmed, // confirmed by the cluster without an error
    failed,    // landed with an error
    expired,   // unknown to the cluster, and its blockhash can no longer land it
};

// Whether a signature can no longer land, on the cluster's evidence. The only proof is a
// status answer (the transaction history searched) without the signature whose own slot is at
// or past one at which the block height was past `lastValidBlockHeight`, both read from
// answers of the node: `epoch` gives such a slot and its height. A status answer without a
// context, or one speaking for an earlier slot (an index that lags behind the blocks), proves
// nothing: the transaction may have landed in a block that index has not read yet.
bool provesExpiry(const EpochInfo& epoch, const SignatureStatusesResult& statuses,
                  std::uint64_t lastValidBlockHeight);

// Asks `client` about `signature` every poll interval of the run until the confirmation
// time-out: the slot and block height first (getEpochInfo), then the signature's status.
// Confirmed or failed as the status says; expired only on proof (provesExpiry) from that one
// pair of answers, so a look needs nothing from earlier ones. None when no answer came in time
// or the run ended; a failure to ask is thrown.
QCoro::Task<std::optional<SolanaOutcome>>
awaitSolanaSignature(FlowRun run, std::shared_ptr<SolanaRPCClient> client, std::string signature,
                     std::uint64_t lastValidBlockHeight);

// The signed transaction (base64 wire form) for broadcastSigned: its id its first signature
// (Base58), sendTransaction to send, getSignatureStatuses to look it up; the client's
// refusals (isRefusal) are refusals. It has lapsed when a look proves its expiry as above
// (getEpochInfo, and getSignatureStatuses once the height is past `lastValidBlockHeight`).
// Everything it asks is built from its arguments alone: an attempt rebuilt from what was
// stored of it is followed the same.
SignedBroadcast solanaBroadcast(std::shared_ptr<SolanaRPCClient> client, std::string transaction,
                                std::string signature, std::uint64_t lastValidBlockHeight);

// A bound of the last valid block height of `blockhash` (Base58), for a transaction built by
// someone else, whose own figure the wallet cannot check: the node says the blockhash is valid
// at a slot, then gives the block height at a slot at or past that one; the blockhash was made
// at or below that height, so it can land no later than that height plus
// blockhashValidBlocks. None when the node does not say both (a blockhash it does not know, or
// no longer valid; a height read from behind the slot of the validity). Throws the client's
// failures.
QCoro::Task<std::optional<std::uint64_t>>
blockhashLastValidBound(std::shared_ptr<SolanaRPCClient> client, std::string blockhash,
                        CancellationToken cancel);

// A stored attempt (UnsettledAttempt) of the Solana account made sendable again through
// `client` (sendTransaction: whoever built it, any node takes the signed transaction). Its bytes
// are sent only when they are the transaction its id names (namedSolanaTransaction); others are
// never sent, their send failing as a lost answer does.
SignedBroadcast solanaAttempt(std::shared_ptr<SolanaRPCClient> client,
                              const UnsettledAttempt& stored);

// The earlier attempts of the Solana account `owner`, as a Solana flow asks about them.
AttemptScope solanaAttemptScope(std::shared_ptr<SolanaRPCClient> client, const std::string& owner);

// What a new Solana signing shares with an earlier attempt that may still land: nothing but its
// very bytes (a transfer with the same blockhash is another transfer). Throws, and nothing may
// be signed, when `message` is not the earlier attempt's: `sameSheet` names the error of the
// sheet that sent it, for one sent elsewhere EarlierAttemptError::mayStillLand.
void requireSameAsEarlier(const EarlierAttempts& earlier, const Bytes& message,
                          const std::function<void()>& sameSheet, const FlowRun& run);

} // namespace qm
