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

// A blockhash stays usable for this many blocks after its own: a transaction whose signature
// is still unknown once the block height has passed a height seen after the transaction was
// built plus this can no longer land.
inline constexpr std::uint64_t blockhashValidBlocks = 150;

// One look at a signature: true confirmed (at "confirmed" or "finalized") without error,
// false landed with an error, none not yet (unknown, or only "processed").
std::optional<bool> signatureVerdict(const std::optional<SignatureStatus>& status);

enum class SolanaOutcome {
    confirmed, // confirmed by the cluster without an error
    failed,    // landed with an error
    expired,   // unknown to the cluster, and its blockhash can no longer land it
};

// Asks `client` about `signature` every poll interval of the run until the confirmation
// time-out: the block height first, then the signature's status, so a transaction that landed
// at a height already passed shows in the status read after it. Expired only when the chain
// says both: the height is past `lastValidBlockHeight` (none: the first height seen plus
// blockhashValidBlocks) and the signature is unknown. None when no answer came in time or the
// run ended; a failure to ask is thrown. Expired is only concluded at a look after the first
// that saw both, when the signature's status (the transaction history searched) is still
// unknown: a status index that lags behind the height is given its time.
QCoro::Task<std::optional<SolanaOutcome>>
awaitSolanaSignature(FlowRun run, std::shared_ptr<SolanaRPCClient> client, std::string signature,
                     std::optional<std::uint64_t> lastValidBlockHeight);

// The signed transaction (base64 wire form) for broadcastSigned: its id its first signature
// (Base58), sendTransaction to send, getSignatureStatuses to look it up; the client's
// refusals (isRefusal) are refusals. It has lapsed when a look finds the height past the last
// valid one (`lastValidBlockHeight`, as above) and the signature unknown.
SignedBroadcast solanaBroadcast(std::shared_ptr<SolanaRPCClient> client, std::string transaction,
                                std::string signature,
                                std::optional<std::uint64_t> lastValidBlockHeight);

// A stored attempt (UnsettledAttempt) of the Solana account made sendable again through
// `client` (sendTransaction: whoever built it, any node takes the signed transaction).
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
