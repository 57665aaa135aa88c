#pragma once
// What every refresh job works with: the state it writes into (gone when the state is
// destroyed) and its task's cancellation token. Jobs pass the token to every client call (a
// cancelled token aborts the call's HTTP requests) and await their requests with untilCancelled
// (platform/async/UntilCancelled.h), so a stalled server never holds a cancelled job.

#include "platform/async/CancellationToken.h"
#include "platform/async/UntilCancelled.h"
#include "state/AppState.h"

#include <QPointer>
#include <cstddef>
#include <string>
#include <utility>

namespace qm {

struct RefreshJob {
    QPointer<AppState> state;
    CancellationToken token;

    // The guard every job applies before each request and each write: the state is gone,
    // the wallet locked or the task cancelled.
    bool shouldStop() const { return !state || state->isLocked() || token.isCancelled(); }
};

// Changes element `index` of an EVM chain's live list in place with `change`; false when the
// list has become shorter or holds another account there (then nothing is written). Chains
// without such a list write nothing.
template <typename Change>
bool writeEVMAccount(AppState& state, Chain chain, std::size_t index, const std::string& id,
                     Change&& change) {
    return state.updateEVMAccount(chain, index, id, std::forward<Change>(change));
}

} // namespace qm
