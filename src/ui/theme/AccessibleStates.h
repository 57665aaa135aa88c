#pragma once
// Accessibility states that Qt Quick leaves out: a disabled item (a Send button with no
// password, a Review button with no quote) reports itself enabled to screen readers unless its
// interface says otherwise. Installed once, before the first window.

namespace qm {

// Every accessible Qt Quick item reports "disabled" while it is not enabled, and tells the
// screen reader when that changes.
void installAccessibleStates();

} // namespace qm
