#include "ui/history/HistoryFilter.h"

#include "core/encoding/AsciiCase.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"

#include <algorithm>

namespace qm {
namespace {

struct AccountHistory {
    const std::vector<Transaction>* entries = nullptr;
    HistoryLoad load;
    const Account* account = nullptr;
};

template <typename State>
AccountHistory historyIn(const std::vector<State>& states, std::string_view id) {
    const auto found =
        std::find_if(states.begin(), states.end(), [&](const State& s) { return s.id() == id; });
    if (found == states.end()) {
        return {};
    }
    HistoryLoad load{found->historyLoading, found->historyLoadFailed};
    // Only the explorer's histories come in pages that can fail after the first.
    if constexpr (requires { found->historyIncomplete; }) {
        load.incomplete = found->historyIncomplete;
    }
    return {&found->transactions, load, &found->account};
}

AccountHistory accountHistory(const AppState& state, std::string_view id) {
    if (const auto found = historyIn(state.bitcoinAccounts(), id); found.entries) {
        return found;
    }
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        if (const auto found = historyIn(state.evmAccounts(chain), id); found.entries) {
            return found;
        }
    }
    return historyIn(state.solanaAccounts(), id);
}

} // namespace

bool HistoryFilter::accepts(const Transaction& transaction) const {
    switch (kind) {
    case Kind::all:
        return true;
    case Kind::nativeOnly:
        return !transaction.tokenSymbol && !transaction.contractAddress;
    case Kind::token:
        return transaction.contractAddress &&
               equalIgnoringASCIICase(*transaction.contractAddress, contractAddress);
    }
    return false;
}

std::vector<Transaction> listedTransactions(const AppState& state, std::string_view accountID,
                                            const HistoryFilter& filter) {
    std::vector<Transaction> listed;
    const AccountHistory found = accountHistory(state, accountID);
    if (!found.entries) {
        return listed;
    }
    // What the wallet sent and the chain has not settled, newest first, unless the history
    // lists it already.
    const Account& account = *found.account;
    const std::vector<UnsettledAttempt> unsettled =
        state.attemptLedger().of(account.chain, ledgerAccountKey(account));
    for (auto it = unsettled.rbegin(); it != unsettled.rend(); ++it) {
        const bool listedAlready =
            std::any_of(found.entries->begin(), found.entries->end(), [&](const Transaction& t) {
                return equalIgnoringASCIICase(t.txHash, it->id);
            });
        Transaction entry = pendingEntry(*it);
        if (!listedAlready && filter.accepts(entry)) {
            listed.push_back(std::move(entry));
        }
    }
    std::copy_if(found.entries->begin(), found.entries->end(), std::back_inserter(listed),
                 [&](const Transaction& t) { return filter.accepts(t); });
    return listed;
}

HistoryLoad historyLoad(const AppState& state, std::string_view accountID) {
    return accountHistory(state, accountID).load;
}

} // namespace qm
