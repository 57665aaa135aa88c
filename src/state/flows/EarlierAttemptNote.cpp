#include "state/flows/EarlierAttemptNote.h"

#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/SignedBroadcast.h"

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
} // namespace

QString earlierAttemptReviewNote(const AppState& state, Chain chain, const std::string& origin,
                                 const QString& summary, const QString& detail) {
    const std::string account = firstAccountKey(state, chain);
    if (account.empty()) {
        return {};
    }
    const std::vector<UnsettledAttempt> attempts = state.attemptLedger().of(chain, account);
    for (auto it = attempts.rbegin(); it != attempts.rend(); ++it) {
        if (it->told) {
            continue;
        }
        const bool same = it->origin == origin && it->summary == summary.toStdString() &&
                          it->detail == detail.toStdString();
        return same ? QString() : replacementNote(*it);
    }
    return {};
}

} // namespace qm
