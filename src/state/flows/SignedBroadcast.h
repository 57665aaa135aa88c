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
// is first kept in the ledger (AttemptLedger, in the wallet's folder) as an unsettled attempt of
// its account on its chain, with its conflict: what a new signing from that account must share
// with it so that at most one of them can ever land (an EVM nonce, the Bitcoin coins it spends,
// a Solana message and blockhash). Before any body signs, it asks earlierAttempts() about every
// attempt of its account on its chain that the user was told failed (or never heard of: a lost
// answer, a run the program's end cut short), whichever sheet or request sent it:
//   - the chain proves it can never land (never because time passed: another transaction holds
//     its nonce or spends its coin; its blockhash expired in a status answer read after the
//     height passed it): forgotten;
//   - the chain knows it: a press where it was sent follows it (its bytes sent again, its id
//     followed, its texts shown: nothing new is signed); a press elsewhere is refused once,
//     saying it went through;
//   - else it may still land: the new signing takes its conflict (a replacement, which the
//     review names), and where that cannot be (another Solana transfer; an EVM nonce the chain
//     has used while no server says by which transaction) nothing is signed. Of these only the
//     EVM one may never be settled by the chain: the user may choose to send anyway
//     (sendAnyway), and the attempt then counts as told.
// One the user saw leave holds nothing back, nor do those that could only land instead of it:
// a new signing is another payment the user asked for. Saw, not could have seen: the server's
// answer (or the chain's word) makes it told only once the face says it left (FlowRun::left),
// so a program killed while its face still read "Broadcasting" left an attempt that the next
// press follows, or replaces at its nonce.
// A run that saw its transaction in a block is done with it (and with the attempts it
// replaced); the rest stay until the chain settles them (AttemptWatch follows them while the
// wallet is open). GUI thread only.

#include "core/model/Chain.h"
#include "platform/Error.h"
#include "platform/async/CancellationToken.h"
#include "state/flows/UnsettledAttempt.h"

#include <QPointer>
#include <QString>
#include <exception>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

class AttemptLedger;
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
    // Whether the chain proves the transaction can no longer land (another transaction holds
    // its nonce or spends its coin, its blockhash expired); false when it cannot say. Asked in
    // the wait after a lost answer (sending the same bytes again cannot help then, so the wait
    // ends and the flow's own watch ends the transaction as it ends any that expired), in the
    // watch after a refusal (it ends Failed at once), and of an earlier attempt (forgotten).
    std::function<QCoro::Task<bool>(CancellationToken)> lapsed;
    // Whether the chain holds it for good (an EVM receipt, a Solana status with a verdict, a
    // Bitcoin server that holds it): the attempt is settled. Unset: as `lookup`.
    std::function<QCoro::Task<bool>(CancellationToken)> landed;
    // Whether a failure of `send` is the server's refusal (it read the request and did not take
    // it) rather than a lost answer.
    std::function<bool(const std::exception&)> refused;
    // Hex ids (EVM) compare in any case.
    bool caseInsensitive = false;
    // The transaction the run is about; false for one that comes before it (an approval): an
    // answered one does not show as the run's broadcast.
    bool isRunsOwn = true;
    // Which of the run's transactions it is (empty: the run's own; approvalSlot; a
    // WalletConnect request's), and what the ledger keeps of it (the factory fills the chain,
    // account, id, wire and conflict; the body what it pays to whom; the run the rest).
    std::string slot;
    UnsettledAttempt record;
};

// Makes `tx`, rebuilt from a stored attempt whose bytes are not the transaction its id names (a
// damaged or edited file), send nothing: its send fails as a lost answer does, so a run follows
// it on the chain by its id alone, and it still binds its conflict until the chain settles it.
void sendNothing(SignedBroadcast& tx);

// The slot of an approval sent before the run's own transaction.
inline const std::string approvalSlot = "approval";

// Which earlier attempts a body asks about before it signs: those of `account` on `chain`. One
// the chain knows is followed when it was sent in one of `followedIn` of this flow; `revive` makes
// a stored one sendable again.
struct AttemptScope {
    Chain chain = Chain::ethereum;
    std::string account;
    std::vector<std::string> followedIn{std::string()};
    std::function<SignedBroadcast(const UnsettledAttempt&)> revive;
};

// What a body learns before it signs anew.
struct EarlierAttempts {
    // An earlier attempt the chain knows: the run sends it again and follows it instead of
    // signing anything.
    std::optional<SignedBroadcast> known;
    // The latest attempt that may still land: the new signing must share its conflict (each
    // was made to share the one before it). None when none may.
    std::optional<UnsettledAttempt> conflict;
};

// A new signing that must not happen now, because of an earlier attempt of the account.
class EarlierAttemptError : public Error {
public:
    using Error::Error;
    EarlierAttemptError(const std::string& message, std::string undecided);
    // Another sheet's attempt the chain knows: "Your earlier send of … went through; nothing
    // new was signed."
    static EarlierAttemptError wentThrough(const UnsettledAttempt& earlier);
    // An attempt whose nonce the chain has used, while no server can say by which transaction:
    // what the wallet knows, where to look, and that Send Anyway signs beside it. The one
    // failure the user may overrule (undecided()).
    static EarlierAttemptError mayHaveGoneThrough(const UnsettledAttempt& earlier);
    // An attempt a different transaction cannot replace (a Solana one until its blockhash
    // expires).
    static EarlierAttemptError mayStillLand(const UnsettledAttempt& earlier);

    // The id of the attempt of mayHaveGoneThrough: nothing the chain will say may ever settle
    // it, so the user may choose to sign beside it (sendAnyway); empty for the other failures.
    const std::string& undecided() const { return m_undecided; }

private:
    std::string m_undecided;
};

// The user's informed choice on a mayHaveGoneThrough failure: the attempt `undecided` (and every
// one sharing its nonce) counts as told in `ledger`, so it holds back no new signing and no
// review names it as replaced; the next press signs a new transaction at the chain's count.
void sendAnyway(AttemptLedger& ledger, const std::string& undecided);

// What the press that follows `earlier` says: "Your earlier send of 1 ETH to 0x3535...3535 went
// through; nothing new was signed."
QString followedNote(const UnsettledAttempt& earlier);
// What a review says while `earlier` may still land: "This replaces your earlier send of …
// that may still go through." (a Solana one: that another transfer waits for its expiry).
QString replacementNote(const UnsettledAttempt& earlier);

// The server's answer named a transaction that is not ours (or none): its refusal.
class BroadcastRefused : public Error {
public:
    // "The server refused the transaction" and, when it said something, ": " and that (shortened).
    explicit BroadcastRefused(const std::string& answer);
};

// Sends `tx` under the rule above, kept in the ledger first (a ledger that cannot be written
// throws, and nothing is sent). True: the transaction left (follow its id). False: the run has
// ended (settled Submitted, cancelled, or its flow gone). Throws a refusal the chain confirmed.
QCoro::Task<bool> broadcastSigned(FlowRun run, SignedBroadcast tx);

// Whether a server's refusal says it holds the transaction already (Bitcoin Core's and
// Electrum's "txn-already-in-mempool", "txn-already-known", "transaction already in block
// chain"; the EVM clients' "already known", "known transaction", "AlreadyKnown", "already
// imported"; Solana's "already been processed"), as a whole phrase in any letter case.
bool saysAlreadyThere(const std::string& answer);

// The earlier attempts of the scope asked about on the chain, before a new signing (see
// "Earlier attempts" above). A lookup that fails keeps its attempt. Throws EarlierAttemptError
// for another sheet's attempt the chain knows. Nothing while the run is not active.
QCoro::Task<EarlierAttempts> earlierAttempts(FlowRun run, AttemptScope scope);

// A new signing, given what the earlier attempts hand it.
using SignAnew = std::function<QCoro::Task<SignedBroadcast>(EarlierAttempts earlier)>;

// earlierAttempts outside any flow (a transaction signed for a dApp to send): the attempts of
// the scope in `ledger`, none followed, so one the chain knows is said once (thrown as
// wentThrough, told) and a next call passes it. Nothing once the ledger has gone or `token` is
// cancelled.
QCoro::Task<EarlierAttempts> earlierAttemptsOf(QPointer<AttemptLedger> ledger, AttemptScope scope,
                                               CancellationToken token);

// What a run sends: an earlier attempt the chain knows (followed instead of a new one, its
// texts shown), else what `sign` makes. None when the run has ended meanwhile; `sign`'s and
// earlierAttempts' errors are thrown.
QCoro::Task<std::optional<SignedBroadcast>> earlierOrSigned(FlowRun run, AttemptScope scope,
                                                            SignAnew sign);

} // namespace qm
