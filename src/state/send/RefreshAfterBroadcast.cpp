#include "state/send/RefreshAfterBroadcast.h"

#include "platform/async/TaskHandle.h"
#include "state/AppState.h"

namespace qm {

RefreshAfterBroadcast::~RefreshAfterBroadcast() {
    AppState* state = m_state.data();
    if (!state) {
        return;
    }
    // Kept by nobody: the refresh runs on by itself, and stops with the state.
    TaskHandle::spawn(state, [state](CancellationToken token) { return state->refreshAll(token); });
}

} // namespace qm
