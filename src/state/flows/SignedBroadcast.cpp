#include "state/flows/SignedBroadcast.h"

#include "core/encoding/AsciiCase.h"
#include "platform/async/CancellableSleep.h"
#include "platform/async/PollUntil.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/TransactionFlow.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

namespace qm {
namespace {

// A lost answer sends the same bytes again on every third look: often enough for a server
// that dropped them, seldom enough not to flood one that is slow.
constexpr int resendEvery = 3;
// A hostile server's answer is shown, but never at any length.
constexpr std::size_t shownAnswerLength = 160;

bool namesOurs(const SignedBroadcast& tx, const std::string& answer) {
    return tx.caseInsensitive ? equalIgnoringASCIICase(answer, tx.id) : answer == tx.id;
}

std::string refusalText(const std::string& answer) {
    std::string text = "The server refused the transaction";
    if (answer.empty()) {
        return text + ".";
    }
    text += ": ";
    if (answer.size() <= shownAnswerLength) {
        return text + answer;
    }
    return text + answer.substr(0, shownAnswerLength) + "…";
}

// What servers answer for a transaction they hold already, in lower case.
constexpr std::array<std::string_view, 8> alreadyThere{
    "txn-already-in-mempool", "txn-already-known", "transaction already in block chain",
    "already known",          "known transaction", "alreadyknown",
    "already been processed", "already imported"};

bool isLetter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

QCoro::Task<std::string> refuseToSend(std::string id) {
    throw Error("The stored transaction " + id +
                " does not read as that transaction; it is not sent again.");
    co_return std::string();
}

// The chain's word on the id; none when it cannot say.
QCoro::Task<std::optional<bool>> askChain(const SignedBroadcast& tx, CancellationToken cancel) {
    try {
        QCoro::Task<bool> looking = tx.lookup(std::move(cancel));
        const bool known = co_await std::move(looking);
        co_return known;
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
}

// Whether the chain says `tx` can no longer land; false when it cannot say (or has no way to).
QCoro::Task<bool> hasLapsed(const SignedBroadcast& tx, CancellationToken cancel) {
    if (!tx.lapsed || cancel.isCancelled()) {
        co_return false;
    }
    try {
        QCoro::Task<bool> checking = tx.lapsed(std::move(cancel));
        co_return co_await std::move(checking);
    } catch (const std::exception&) {
        co_return false;
    }
}

enum class Seen {
    known,     // the chain holds it
    lapsed,    // the chain says it can no longer land
    unknown,   // not (yet)
    cannotSay, // the chain could not be asked
};

QCoro::Task<Seen> lookUp(const SignedBroadcast& tx, CancellationToken cancel) {
    QCoro::Task<std::optional<bool>> asking = askChain(tx, cancel);
    const std::optional<bool> known = co_await std::move(asking);
    if (known == true) {
        co_return Seen::known;
    }
    QCoro::Task<bool> checking = hasLapsed(tx, std::move(cancel));
    if (co_await std::move(checking)) {
        co_return Seen::lapsed;
    }
    co_return known ? Seen::unknown : Seen::cannotSay;
}

// The chain's word on `tx`: asked at once and, while it reads `repeated`, again every poll
// interval a few times (FlowLimits::refusedLooks). Known, lapsed, unknown, or cannot say (at
// once: a later lookup that fails counts as unknown, and so never confirms a lapse).
QCoro::Task<Seen> looksWhile(FlowRun run, const SignedBroadcast& tx, Seen repeated) {
    QCoro::Task<Seen> looking = lookUp(tx, run.token());
    Seen seen = co_await std::move(looking);
    const TransactionFlow::Limits* limits = run.limits();
    for (int look = 0; seen == repeated && limits && look < limits->refusedLooks; ++look) {
        QCoro::Task<bool> pause = cancellableSleep(limits->pollInterval, run.token());
        if (!co_await std::move(pause) || !run.isActive()) {
            co_return Seen::unknown;
        }
        looking = lookUp(tx, run.token());
        seen = co_await std::move(looking);
        if (seen == Seen::cannotSay) {
            seen = Seen::unknown;
        }
        limits = run.limits();
    }
    co_return seen;
}

// A refused transaction: a server behind a load balancer may have passed it on while the one
// that answers lookups has not seen it yet.
QCoro::Task<Seen> watchRefused(FlowRun run, const SignedBroadcast& tx) {
    return looksWhile(std::move(run), tx, Seen::unknown);
}

struct LostAnswer {
    SignedBroadcast tx;
    int looks = 0;
};

// What the chain came to say about an id whose server's answer proved nothing.
enum class ChainWord {
    known,  // it holds the transaction (or a server sent the bytes again named it)
    lapsed, // it can no longer land
};

// One look of the wait after an answer that proved nothing: the chain's word once it knows
// the id or says it can no longer land, or once a server sent the bytes again answers with it.
QCoro::Task<std::optional<ChainWord>> lookAgain(std::shared_ptr<LostAnswer> lost,
                                                CancellationToken attempt) {
    QCoro::Task<Seen> looking = lookUp(lost->tx, attempt);
    const Seen seen = co_await std::move(looking);
    if (seen == Seen::known) {
        co_return ChainWord::known;
    }
    if (seen == Seen::lapsed) {
        co_return ChainWord::lapsed;
    }
    if (++lost->looks % resendEvery != 0 || attempt.isCancelled()) {
        co_return std::nullopt;
    }
    std::string answer;
    try {
        QCoro::Task<std::string> sending = lost->tx.send(attempt);
        answer = co_await std::move(sending);
    } catch (const std::exception&) {
        // Refused or lost again: the chain's word still decides.
    }
    if (namesOurs(lost->tx, answer)) {
        co_return ChainWord::known;
    }
    co_return std::nullopt;
}

// Asks the chain every poll interval (sending the same bytes again now and then) until it
// says something of `tx`; none when the confirmation time-out passes first or the run ends.
QCoro::Task<std::optional<ChainWord>> followOnChain(FlowRun run, SignedBroadcast tx) {
    const TransactionFlow::Limits* limits = run.limits();
    if (!limits) {
        co_return std::nullopt;
    }
    auto following = std::make_shared<LostAnswer>();
    following->tx = std::move(tx);
    QCoro::Task<std::optional<ChainWord>> waiting = pollUntil<ChainWord>(
        [following](CancellationToken attempt) { return lookAgain(following, std::move(attempt)); },
        PollLimits(limits->pollInterval, limits->confirmationTimeout), run.token());
    co_return co_await std::move(waiting);
}

// What earlierAttempts asks of the chain, on `ledger`'s attempts of the scope; `origins` are
// where the scope's followedIn slots send from, in their order.
QCoro::Task<EarlierAttempts> askAboutAttempts(QPointer<AttemptLedger> ledger, AttemptScope scope,
                                              std::vector<std::string> origins,
                                              CancellationToken token) {
    EarlierAttempts earlier;
    if (!ledger) {
        co_return earlier;
    }
    const auto active = [&] { return ledger && !token.isCancelled(); };
    std::optional<UnsettledAttempt> wentThrough;
    for (const UnsettledAttempt& attempt : ledger->of(scope.chain, scope.account)) {
        if (!active()) {
            co_return earlier;
        }
        const auto slot = std::find(origins.begin(), origins.end(), attempt.origin);
        const bool here = slot != origins.end();
        // As the ledger holds it now: the watch or another run may have settled or told it.
        const std::optional<UnsettledAttempt> now = ledger->find(attempt.id);
        if (!now || (now->told && !(now->toldElsewhere && here))) {
            // The user saw it leave: a new signing is another payment they asked for.
            continue;
        }
        SignedBroadcast tx = scope.revive(attempt);
        QCoro::Task<Seen> looking = lookUp(tx, token);
        const Seen seen = co_await std::move(looking);
        if (!active()) {
            co_return earlier;
        }
        if (seen == Seen::lapsed) {
            ledger->forget(attempt.id);
            continue;
        }
        if (seen != Seen::known) {
            // Oldest first: the latest that may land holds the conflict of all before it.
            earlier.conflict = attempt;
            continue;
        }
        if (here) {
            tx.slot = scope.followedIn.at(static_cast<std::size_t>(slot - origins.begin()));
            tx.isRunsOwn = tx.slot.empty();
            earlier.known = std::move(tx);
        } else if (!wentThrough) {
            wentThrough = attempt;
        }
    }
    if (earlier.known || !wentThrough) {
        co_return earlier;
    }
    // Told once, here: the next press elsewhere signs what it asks; where it was sent, it is
    // still followed.
    ledger->markTold(wentThrough->id, true);
    throw EarlierAttemptError::wentThrough(*wentThrough);
}

} // namespace

QString lostAnswerNote() {
    return QStringLiteral("The server's answer was lost; the transaction may still confirm.");
}

BroadcastRefused::BroadcastRefused(const std::string& answer) : Error(refusalText(answer)) {}

bool saysAlreadyThere(const std::string& answer) {
    const std::string text = lowercaseASCII(answer);
    return std::any_of(alreadyThere.begin(), alreadyThere.end(), [&](std::string_view phrase) {
        // A whole phrase: "unknown transaction" is no "known transaction", nor is "already
        // importedness" "already imported".
        for (std::size_t at = text.find(phrase); at != std::string::npos;
             at = text.find(phrase, at + 1)) {
            const std::size_t end = at + phrase.size();
            if ((at == 0 || !isLetter(text[at - 1])) &&
                (end == text.size() || !isLetter(text[end]))) {
                return true;
            }
        }
        return false;
    });
}

QCoro::Task<bool> broadcastSigned(FlowRun run, SignedBroadcast tx) {
    if (!run.isActive()) {
        co_return false;
    }
    // Kept, and on disk, before the bytes leave: a restart while they are on their way still
    // knows them. Once it is kept they leave, whatever ended the run meanwhile.
    QCoro::Task<void> keeping = run.keepAttempt(tx);
    co_await std::move(keeping);
    std::exception_ptr refusal;
    bool lost = false;
    try {
        QCoro::Task<std::string> sending = tx.send(run.token());
        const std::string answer = co_await std::move(sending);
        if (!namesOurs(tx, answer) && !saysAlreadyThere(answer)) {
            refusal = std::make_exception_ptr(BroadcastRefused(answer));
        }
    } catch (const std::exception& error) {
        if (!tx.refused || !tx.refused(error)) {
            lost = true;
        } else if (!saysAlreadyThere(error.what())) {
            refusal = std::current_exception();
        }
    }
    if (!run.isActive()) {
        co_return false;
    }
    if (refusal) {
        QCoro::Task<Seen> watching = watchRefused(run, tx);
        const Seen seen = co_await std::move(watching);
        if (!run.isActive()) {
            co_return false;
        }
        if (seen == Seen::unknown || seen == Seen::lapsed) {
            std::rethrow_exception(refusal);
        }
        if (seen == Seen::cannotSay) {
            // A refusal the chain cannot confirm is no proof that nothing left: followed as a
            // lost answer is, though not shown as sent; a chain that never holds it (or says
            // it can no longer land) leaves the refusal standing.
            QCoro::Task<std::optional<ChainWord>> following = followOnChain(run, tx);
            const std::optional<ChainWord> word = co_await std::move(following);
            if (!run.isActive()) {
                co_return false;
            }
            if (word != ChainWord::known) {
                std::rethrow_exception(refusal);
            }
        }
        run.left(tx.id);
        if (tx.isRunsOwn) {
            run.broadcasted(tx.id);
        }
        co_return true;
    }
    if (!lost) {
        run.left(tx.id);
        if (tx.isRunsOwn) {
            run.broadcasted(tx.id);
        }
        co_return true;
    }

    // From here the bytes may be on their way: never a new signing, only the chain's word.
    run.broadcasted(tx.id);
    const std::string id = tx.id;
    QCoro::Task<std::optional<ChainWord>> following = followOnChain(run, std::move(tx));
    const std::optional<ChainWord> word = co_await std::move(following);
    if (!run.isActive()) {
        co_return false;
    }
    if (word == ChainWord::known) {
        run.left(id);
    }
    if (word) {
        co_return true;
    }
    // The user hears it may still confirm, not that it left: a later press still asks the chain.
    run.submitted(lostAnswerNote());
    co_return false;
}

QCoro::Task<EarlierAttempts> earlierAttempts(FlowRun run, AttemptScope scope) {
    if (!run.isActive()) {
        co_return EarlierAttempts{};
    }
    std::vector<std::string> origins;
    for (const std::string& slot : scope.followedIn) {
        origins.push_back(run.origin(slot));
    }
    QCoro::Task<EarlierAttempts> asking =
        askAboutAttempts(run.attemptLedger(), std::move(scope), std::move(origins), run.token());
    co_return co_await std::move(asking);
}

QCoro::Task<EarlierAttempts> earlierAttemptsOf(QPointer<AttemptLedger> ledger, AttemptScope scope,
                                               CancellationToken token) {
    scope.followedIn.clear();
    QCoro::Task<EarlierAttempts> asking =
        askAboutAttempts(std::move(ledger), std::move(scope), {}, std::move(token));
    co_return co_await std::move(asking);
}

void sendNothing(SignedBroadcast& tx) {
    tx.send = [id = tx.id](CancellationToken) { return refuseToSend(id); };
}

void sendAnyway(AttemptLedger& ledger, const std::string& undecided) {
    ledger.markTold(undecided);
}

QCoro::Task<std::optional<SignedBroadcast>> earlierOrSigned(FlowRun run, AttemptScope scope,
                                                            SignAnew sign) {
    QCoro::Task<EarlierAttempts> checking = earlierAttempts(run, std::move(scope));
    EarlierAttempts earlier = co_await std::move(checking);
    if (!run.isActive()) {
        co_return std::nullopt;
    }
    if (earlier.known) {
        run.followsEarlier(earlier.known->record);
        co_return std::move(earlier.known);
    }
    QCoro::Task<SignedBroadcast> signing = sign(std::move(earlier));
    SignedBroadcast signedNow = co_await std::move(signing);
    if (!run.isActive()) {
        co_return std::nullopt;
    }
    co_return signedNow;
}

EarlierAttemptError EarlierAttemptError::wentThrough(const UnsettledAttempt& earlier) {
    return EarlierAttemptError(followedNote(earlier).toStdString());
}

EarlierAttemptError::EarlierAttemptError(const std::string& message, std::string undecided)
    : Error(message), m_undecided(std::move(undecided)) {}

EarlierAttemptError EarlierAttemptError::mayHaveGoneThrough(const UnsettledAttempt& earlier) {
    return EarlierAttemptError(
        "Your earlier " + attemptDescription(earlier) +
            " may have gone through: the network has used its nonce, and no server shows by "
            "which transaction. Look for it in the account's history or on a block explorer. "
            "Nothing was signed. Send Anyway signs this one as a new transaction, which pays "
            "again if the earlier one went through.",
        earlier.id);
}

EarlierAttemptError EarlierAttemptError::mayStillLand(const UnsettledAttempt& earlier) {
    return EarlierAttemptError("Your earlier " + attemptDescription(earlier) +
                               " may still go through until its blockhash expires, in about a "
                               "minute; nothing was signed. Try this one once it has expired.");
}

QString followedNote(const UnsettledAttempt& earlier) {
    return QString::fromStdString("Your earlier " + attemptDescription(earlier) +
                                  " went through; nothing new was signed.");
}

QString replacementNote(const UnsettledAttempt& earlier) {
    if (earlier.chain == Chain::solana) {
        return QString::fromStdString("Your earlier " + attemptDescription(earlier) +
                                      " may still go through; another transaction waits until "
                                      "its blockhash has expired.");
    }
    return QString::fromStdString("This replaces your earlier " + attemptDescription(earlier) +
                                  " that may still go through.");
}

} // namespace qm
