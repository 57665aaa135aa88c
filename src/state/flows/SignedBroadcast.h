#pragma once
// How every flow hands a signed transaction to a server: its id is computed from the signed
// bytes before they leave, and the server's word alone never decides what the user sees.
//
//     SignedBroadcast tx = evmBroadcast(client, signedBytes);
//     QCoro::Task<bool> sending = broadcastSigned(run, std::move(tx));
//     if (!co_await std::move(sending)) co_return; // the run has ended
//     ... follow tx.id on the chain (awaitChain) ...
//
// - The server answers with our id, or refuses saying it has the transaction already
//   ("already known", "txn-already-in-mempool", "already been processed" ...): the transaction
//   left; broadcastSigned returns true.
// - The server refuses (an error object, or an answer that is not our id): the chain is asked,
//   and asked again a few poll intervals (FlowLimits::refusedLooks: a server behind a load
//   balancer may have passed it on while the one that answers lookups has not seen it yet);
//   known, it returns true; still unknown (or lapsed), the refusal is thrown and the run ends
//   Failed (back to the review). A chain that cannot say at first is followed as after a lost
//   answer (the id not shown as sent meanwhile) until it knows the id (true) or the
//   confirmation time-out passes or it says the transaction can no longer land: the refusal is
//   thrown then, its text kept.
// - The answer is lost (connection dropped, time-out, a gateway's 5xx, an unreadable reply):
//   the id is recorded as broadcast at once, so no failure after this offers a new signing;
//   the chain is asked every poll interval, and the same signed bytes are sent again now and
//   then, until the chain knows the id or says it can no longer land (returns true: the flow's
//   watch says which) or the confirmation time-out passes (the run ends Submitted with the id
//   and lostAnswerNote; returns false).
//
// Earlier attempts. A refusal that ended Failed is no proof that nothing left: the server may
// have kept what it refused, and the lookup may lag. So every transaction broadcastSigned sends
// is kept by its flow as an attempt of its slot (which of the flow's transactions it is: the
// run's own, an approval, a WalletConnect request), with its conflict: what a new signing in
// that slot must share with it so that at most one of them can ever land (an EVM nonce, the
// Bitcoin coins it spends, a Solana blockhash). Before signing anew, a body asks
// earlierAttempts() for its slot: an attempt the chain knows is the one the run follows (its
// bytes sent again, its id followed: never a second payment); those the chain says can no
// longer land, asked again a few poll intervals, are forgotten; the rest hand the new signing their
// conflict. A run that ends Confirmed, Reverted or Submitted (the user was told what left) is done
// with the attempts of the slots it used, as a flow that saw an approval's receipt is with the
// approval's; only a run that ended Failed leaves its attempts to the next press. GUI thread only.

#include "platform/Error.h"
#include "platform/async/CancellationToken.h"

#include <QString>
#include <any>
#include <exception>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class FlowRun;

// The note of a run whose server's answer was lost and whose chain never said.
QString lostAnswerNote();

struct SignedBroadcast {
    // The id the chain knows the transaction by, computed from the signed bytes.
    std::string id;
    // Sends the signed bytes (always the same ones); gives the server's answer, the id it
    // names. Throws the client's errors.
    std::function<QCoro::Task<std::string>(CancellationToken)> send;
    // Whether the chain knows the id (in a pool or a block); throws when it cannot say (also
    // when its answer is about another transaction).
    std::function<QCoro::Task<bool>(CancellationToken)> lookup;
    // Whether the chain says the transaction can no longer land (a Solana blockhash expired
    // with the signature unknown, an EVM nonce held in a block by another transaction); unset
    // where it can always land. Asked in the wait after a lost answer (sending the same bytes
    // again cannot help then, so the wait ends and the flow's own watch ends the transaction as
    // it ends any that expired), in the watch after a refusal (it ends Failed at once), and of
    // an earlier attempt (it is forgotten).
    std::function<QCoro::Task<bool>(CancellationToken)> lapsed;
    // Whether a failure of `send` is the server's refusal (it read the request and did not take
    // it) rather than a lost answer.
    std::function<bool(const std::exception&)> refused;
    // Hex ids (EVM) compare in any case.
    bool caseInsensitive = false;
    // The transaction the run is about; false for one that comes before it (an approval): an
    // answered one does not show as the run's broadcast.
    bool isRunsOwn = true;
    // Which of the flow's transactions it is (empty: the run's own), and what a new signing
    // there must share with it; see "Earlier attempts" above.
    std::string slot;
    std::any conflict;
};

// The slot of an approval sent before the run's own transaction.
inline const std::string approvalSlot = "approval";

// What a body learns before it signs anew in a slot.
struct EarlierAttempts {
    // An earlier attempt the chain knows: the run sends it again and follows it instead of
    // signing anything.
    std::optional<SignedBroadcast> known;
    // The conflict the new signing must share with the attempts that may still land (the
    // latest one's: each was made to share the one before it); empty when none may.
    std::any conflict;
};

// The server's answer named a transaction that is not ours (or none): its refusal.
class BroadcastRefused : public Error {
public:
    // "The server refused the transaction" and, when it said something, ": " and that (shortened).
    explicit BroadcastRefused(const std::string& answer);
};

// Sends `tx` under the rule above, kept as an attempt of its slot first. True: the transaction
// left (follow its id). False: the run has ended (settled Submitted, cancelled, or its flow
// gone). Throws a refusal the chain confirmed.
QCoro::Task<bool> broadcastSigned(FlowRun run, SignedBroadcast tx);

// Whether a server's refusal says it holds the transaction already (Bitcoin Core's and
// Electrum's "txn-already-in-mempool", "txn-already-known", "transaction already in block
// chain"; the EVM clients' "already known", "known transaction", "AlreadyKnown"; Solana's
// "already been processed"), in any letter case.
bool saysAlreadyThere(const std::string& answer);

// The earlier attempts of `slot` asked about on the chain, before a new signing there (see
// "Earlier attempts" above). A lookup that fails keeps its attempt. Nothing while the run is
// not active.
QCoro::Task<EarlierAttempts> earlierAttempts(FlowRun run, std::string slot);

// A new signing in a slot, given what the earlier attempts there hand it.
using SignAnew = std::function<QCoro::Task<SignedBroadcast>(EarlierAttempts earlier)>;

// What a run sends in `slot`: an earlier attempt the chain knows (followed instead of a new
// one), else what `sign` makes. None when the run has ended meanwhile; `sign`'s errors are
// thrown.
QCoro::Task<std::optional<SignedBroadcast>> earlierOrSigned(FlowRun run, std::string slot,
                                                            SignAnew sign);

} // namespace qm
