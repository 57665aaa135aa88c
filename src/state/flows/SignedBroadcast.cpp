#include "state/flows/SignedBroadcast.h"

#include "platform/async/PollUntil.h"
#include "state/flows/TransactionFlow.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
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
    QCoro::Task<std::optional<bool>> asking = askChain(lost->tx, attempt);
    if (co_await std::move(asking) == true) {
        co_return ChainWord::known;
    }
    if (lost->tx.lapsed && !attempt.isCancelled()) {
        try {
            QCoro::Task<bool> checking = lost->tx.lapsed(attempt);
            if (co_await std::move(checking)) {
                co_return ChainWord::lapsed;
            }
        } catch (const std::exception&) {
            // The chain cannot say: keep waiting for its word.
        }
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

QCoro::Task<bool> broadcastSigned(FlowRun run, SignedBroadcast tx) {
    if (!run.isActive()) {
        co_return false;
    }
    std::exception_ptr refusal;
    bool lost = false;
    try {
        QCoro::Task<std::string> sending = tx.send(run.token());
        const std::string answer = co_await std::move(sending);
        if (!namesOurs(tx, answer)) {
            refusal = std::make_exception_ptr(BroadcastRefused(answer));
        }
    } catch (const std::exception& error) {
        if (tx.refused && tx.refused(error)) {
            refusal = std::current_exception();
        } else {
            lost = true;
        }
    }
    if (!run.isActive()) {
        co_return false;
    }
    if (refusal) {
        QCoro::Task<std::optional<bool>> asking = askChain(tx, run.token());
        const std::optional<bool> known = co_await std::move(asking);
        if (!run.isActive()) {
            co_return false;
        }
        if (known == false) {
            std::rethrow_exception(refusal);
        }
        if (!known) {
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

} // namespace qm
