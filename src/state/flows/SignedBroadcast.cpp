#include "state/flows/SignedBroadcast.h"

#include "platform/async/CancellableSleep.h"
#include "platform/async/PollUntil.h"
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
    if (!tx.caseInsensitive) {
        return answer == tx.id;
    }
    return answer.size() == tx.id.size() &&
           std::equal(answer.begin(), answer.end(), tx.id.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
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
constexpr std::array<std::string_view, 7> alreadyThere{
    "txn-already-in-mempool", "txn-already-known", "transaction already in block chain",
    "already known",          "known transaction", "alreadyknown",
    "already been processed"};

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

// An earlier attempt. "Can no longer land" forgets it, and so lets a new signing go free of it:
// asked again first, since the figures behind it (an EVM sender's mined count) and the lookup
// may come from different servers behind one address, one already past our transaction and the
// other not yet aware of it. Any look that knows the attempt makes it known; one that no longer
// says it lapsed keeps it.
QCoro::Task<Seen> confirmedLook(FlowRun run, const SignedBroadcast& tx) {
    return looksWhile(std::move(run), tx, Seen::lapsed);
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

} // namespace

QString lostAnswerNote() {
    return QStringLiteral("The server's answer was lost; the transaction may still confirm.");
}

BroadcastRefused::BroadcastRefused(const std::string& answer) : Error(refusalText(answer)) {}

bool saysAlreadyThere(const std::string& answer) {
    std::string text = answer;
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::any_of(alreadyThere.begin(), alreadyThere.end(), [&](std::string_view phrase) {
        // A whole word: "unknown transaction" is no "known transaction".
        for (std::size_t at = text.find(phrase); at != std::string::npos;
             at = text.find(phrase, at + 1)) {
            if (at == 0 || !std::isalpha(static_cast<unsigned char>(text[at - 1]))) {
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
    run.keepAttempt(tx);
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
        if (tx.isRunsOwn) {
            run.broadcasted(tx.id);
        }
        co_return true;
    }
    if (!lost) {
        if (tx.isRunsOwn) {
            run.broadcasted(tx.id);
        }
        co_return true;
    }

    // From here the bytes may be on their way: never a new signing, only the chain's word.
    run.broadcasted(tx.id);
    QCoro::Task<std::optional<ChainWord>> following = followOnChain(run, std::move(tx));
    const std::optional<ChainWord> word = co_await std::move(following);
    if (!run.isActive()) {
        co_return false;
    }
    if (word) {
        co_return true;
    }
    run.submitted(lostAnswerNote());
    co_return false;
}

QCoro::Task<EarlierAttempts> earlierAttempts(FlowRun run, std::string slot) {
    EarlierAttempts earlier;
    std::vector<SignedBroadcast> kept = run.attempts(slot);
    std::vector<SignedBroadcast> mayLand;
    for (auto it = kept.rbegin(); it != kept.rend() && run.isActive(); ++it) {
        QCoro::Task<Seen> looking = confirmedLook(run, *it);
        const Seen seen = co_await std::move(looking);
        if (seen == Seen::known) {
            earlier.known = *it;
            co_return earlier;
        }
        if (seen != Seen::lapsed) {
            mayLand.insert(mayLand.begin(), *it);
        }
    }
    if (!run.isActive()) {
        co_return earlier;
    }
    run.forgetAttempts(slot);
    for (const SignedBroadcast& attempt : mayLand) {
        run.keepAttempt(attempt);
    }
    if (!mayLand.empty()) {
        earlier.conflict = mayLand.back().conflict;
    }
    co_return earlier;
}

QCoro::Task<std::optional<SignedBroadcast>> earlierOrSigned(FlowRun run, std::string slot,
                                                            SignAnew sign) {
    QCoro::Task<EarlierAttempts> checking = earlierAttempts(run, std::move(slot));
    EarlierAttempts earlier = co_await std::move(checking);
    if (!run.isActive()) {
        co_return std::nullopt;
    }
    if (earlier.known) {
        co_return std::move(earlier.known);
    }
    QCoro::Task<SignedBroadcast> signing = sign(std::move(earlier));
    SignedBroadcast signedNow = co_await std::move(signing);
    if (!run.isActive()) {
        co_return std::nullopt;
    }
    co_return signedNow;
}

} // namespace qm
