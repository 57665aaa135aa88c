#include "state/flows/EarlierAttemptNote.h"

#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/SignedBroadcast.h"

#include <algorithm>
#include <vector>

namespace qm {
namespace {

// The ledger's name of the wallet's first account on `chain`; empty without one.
std::string firstAccountKey(const AppState& state, Chain chain) {
    if (chain == Chain::bitcoin) {
        return state.bitcoinAccounts().empty()
                   ? std::string()
                   : ledgerAccountKey(state.bitcoinAccounts().front().account);
    }
    if (chain == Chain::solana) {
        return state.solanaAccounts().empty()
                   ? std::string()
                   : ledgerAccountKey(state.solanaAccounts().front().account);
    }
    const std::vector<EVMAccountState>& accounts = state.evmAccounts(chain);
    return accounts.empty() ? std::string() : ledgerAccountKey(accounts.front().account);
}

// The latest attempt of the first account on `chain` that the user was not told left, while it
// is unsettled.
std::optional<UnsettledAttempt> latestUntold(const AppState& state, Chain chain) {
    const std::string account = firstAccountKey(state, chain);
    if (account.empty()) {
        return std::nullopt;
    }
    const std::vector<UnsettledAttempt> attempts = state.attemptLedger().of(chain, account);
    const auto latest = std::find_if(attempts.rbegin(), attempts.rend(),
                                     [](const UnsettledAttempt& attempt) { return !attempt.told; });
    return latest == attempts.rend() ? std::nullopt : std::optional(*latest);
}

} // namespace

QString earlierAttemptReviewNote(const AppState& state, Chain chain, const std::string& origin,
                                 const QString& summary, const QString& detail) {
    const std::optional<UnsettledAttempt> latest = latestUntold(state, chain);
    if (!latest) {
        return {};
    }
    const bool same = latest->origin == origin && latest->summary == summary.toStdString() &&
                      latest->detail == detail.toStdString();
    return same ? QString() : replacementNote(*latest);
}

std::optional<EVMFeeFloor> earlierAttemptFeeFloor(const AppState& state, Chain chain) {
    const std::optional<UnsettledAttempt> latest = latestUntold(state, chain);
    if (!latest || !latest->nonce) {
        return std::nullopt;
    }
    return replacementFloor(state.attemptLedger(), chain, latest->account, *latest->nonce);
}

} // namespace qm
