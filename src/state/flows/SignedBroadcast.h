#pragma once
// How every flow hands a signed transaction to a server: its id is computed from the signed
// bytes before they leave, and the server's word alone never decides what the user sees.
//
//     SignedBroadcast tx = evmBroadcast(client, signedBytes);
//     QCoro::Task<bool> sending = broadcastSigned(run, std::move(tx));
//     if (!co_await std::move(sending)) co_return; // the run has ended
//     ... follow tx.id on the chain (awaitChain) ...
//
// - The server answers with our id: the transaction left; broadcastSigned returns true.
// - The server refuses (an error object, or an answer that is not our id): the chain is asked
//   once; known, it returns true; unknown, the refusal is thrown and the run ends Failed (back
//   to the review: the chain does not hold it). A chain that cannot say is followed as after a
//   lost answer (the id not shown as sent meanwhile) until it knows the id (true) or the
//   confirmation time-out passes or it says the transaction can no longer land: the refusal is
//   thrown then, its text kept.
// - The answer is lost (connection dropped, time-out, a gateway's 5xx, an unreadable reply):
//   the id is recorded as broadcast at once, so no failure after this offers a new signing;
//   the chain is asked every poll interval, and the same signed bytes are sent again now and
//   then, until the chain knows the id or says it can no longer land (returns true: the flow's
//   watch says which) or the confirmation time-out passes (the run ends Submitted with the id
//   and lostAnswerNote; returns false).
// GUI thread only.

#include "platform/Error.h"
#include "platform/async/CancellationToken.h"

#include <QString>
#include <exception>
#include <functional>
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
    // with the signature unknown); unset where it can always land. Asked in the wait after a
    // lost answer: sending the same bytes again cannot help then, so the wait ends and the
    // flow's own watch ends the transaction as it ends any that expired.
    std::function<QCoro::Task<bool>(CancellationToken)> lapsed;
    // Whether a failure of `send` is the server's refusal (it read the request and did not take
    // it) rather than a lost answer.
    std::function<bool(const std::exception&)> refused;
    // Hex ids (EVM) compare in any case.
    bool caseInsensitive = false;
    // The transaction the run is about; false for one that comes before it (an approval): an
    // answered one does not show as the run's broadcast.
    bool isRunsOwn = true;
};

// The server's answer named a transaction that is not ours (or none): its refusal.
class BroadcastRefused : public Error {
public:
    // "The server refused the transaction" and, when it said something, ": " and that (shortened).
    explicit BroadcastRefused(const std::string& answer);
};

// Sends `tx` under the rule above. True: the transaction left (follow its id). False: the run
// has ended (settled Submitted, cancelled, or its flow gone). Throws a refusal the chain
// confirmed.
QCoro::Task<bool> broadcastSigned(FlowRun run, SignedBroadcast tx);

} // namespace qm
