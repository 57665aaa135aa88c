#pragma once
// "Start these children, await them all" (QCoro 0.8 has none).

#include <qcoro/qcorotask.h>
#include <vector>

namespace qm {

// Awaits every child. The children are already running (a coroutine runs from its call to
// its first suspension), so they proceed side by side. After all have finished, the first
// failure in list order is rethrown; later failures are dropped.
QCoro::Task<void> whenAll(std::vector<QCoro::Task<void>> children);

} // namespace qm
