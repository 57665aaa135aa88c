#pragma once
// What every refresh job works with: the state it writes into (gone when the state is
// destroyed) and its task's cancellation token. Jobs await their requests with
// untilCancelled (platform/async/UntilCancelled.h), so a stalled server never holds a cancelled
// job.

#include "platform/async/CancellationToken.h"
#include "platform/async/UntilCancelled.h"
#include "services/network/HttpAbortOnCancel.h"
#include "state/AppState.h"

#include <QPointer>
#include <cstddef>
#include <string>
#include <vector>

namespace qm {

struct RefreshJob {
    QPointer<AppState> state;
    CancellationToken token;

    // The guard every job applies before each request and each write: the state is gone,
    // the wallet locked or the task cancelled.
    bool shouldStop() const { return !state || state->isLocked() || token.isCancelled(); }
};

// Changes element `index` of an EVM chain's live list with `change` and writes the list back;
// false when the list has become shorter or holds another account there (then nothing is
// written). Chains without such a list write nothing.
template <typename Change>
bool writeEVMAccount(AppState& state, Chain chain, std::size_t index, const std::string& id,
                     Change&& change) {
    if (chain != Chain::ethereum && chain != Chain::arbitrum && chain != Chain::polygon) {
        return false;
    }
    std::vector<EVMAccountState> accounts = state.evmAccounts(chain);
    if (index >= accounts.size() || accounts[index].id() != id) {
        return false;
    }
    change(accounts[index]);
    switch (chain) {
    case Chain::ethereum:
        state.setEthereumAccounts(std::move(accounts));
        break;
    case Chain::arbitrum:
        state.setArbitrumAccounts(std::move(accounts));
        break;
    default:
        state.setPolygonAccounts(std::move(accounts));
        break;
    }
    return true;
}

} // namespace qm
