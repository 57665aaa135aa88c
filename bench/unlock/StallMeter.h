#pragma once
// The longest stall of the GUI thread's event loop during unlock, creation and signing.

namespace qm::bench {

// Prints the figures; 0 on success.
int measureStalls(int rounds);

} // namespace qm::bench

using qm::bench::measureStalls;
