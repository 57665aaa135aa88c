#pragma once
// A sleep that ends early when its token is cancelled.

#include "platform/async/CancellationToken.h"

#include <chrono>
#include <qcoro/qcorotask.h>

namespace qm {

// Waits `duration` on the event loop. True when the whole time passed; false when the token
// was cancelled before or during the wait (the coroutine then resumes on a later turn).
QCoro::Task<bool> cancellableSleep(std::chrono::milliseconds duration, CancellationToken token);

} // namespace qm
