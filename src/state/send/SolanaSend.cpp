#include "state/send/SolanaSend.h"

#include "state/send/SendError.h"

namespace qm {

// Not wired yet: the send fails before anything is signed.
QCoro::Task<void> runSolanaSend(FlowRun run, SolanaSendRequest request) {
    static_cast<void>(run);
    static_cast<void>(request);
    throw SendError::networkUnavailable("Sending on this chain is not available yet");
    co_return;
}

} // namespace qm
