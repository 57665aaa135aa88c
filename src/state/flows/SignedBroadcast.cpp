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

// One look of the wait after a lost answer: true once the chain knows the id or says it can
// no longer land, or a server sent the bytes again answers with it.
QCoro::Task<std::optional<bool>> lookAgain(std::shared_ptr<LostAnswer> lost,
                                           CancellationToken attempt) {
    QCoro::Task<std::optional<bool>> asking = askChain(lost->tx, attempt);
    if (co_await std::move(asking) == true) {
        co_return true;
    }
    if (lost->tx.lapsed && !attempt.isCancelled()) {
        try {
            QCoro::Task<bool> checking = lost->tx.lapsed(attempt);
            if (co_await std::move(checking)) {
                co_return true;
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
        co_return true;
    }
    co_return std::nullopt;
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
        // A refusal the chain cannot confirm is no proof that nothing left.
        lost = !known;
    }
    if (!lost) {
        if (tx.isRunsOwn) {
            run.broadcasted(tx.id);
        }
        co_return true;
    }

    // From here the bytes may be on their way: never a new signing, only the chain's word.
    run.broadcasted(tx.id);
    const TransactionFlow::Limits* limits = run.limits();
    if (!limits) {
        co_return false;
    }
    auto following = std::make_shared<LostAnswer>();
    following->tx = std::move(tx);
    QCoro::Task<std::optional<bool>> waiting = pollUntil<bool>(
        [following](CancellationToken attempt) { return lookAgain(following, std::move(attempt)); },
        PollLimits(limits->pollInterval, limits->confirmationTimeout), run.token());
    const std::optional<bool> known = co_await std::move(waiting);
    if (!run.isActive()) {
        co_return false;
    }
    if (known) {
        co_return true;
    }
    run.submitted(lostAnswerNote());
    co_return false;
}

} // namespace qm
