#pragma once
// Return and Enter press the focused button as Space does (the desktop's habit: GTK's buttons
// take all three), a sidebar row or a dialog's OK as much as any: pressed on the key's press,
// clicked on its release. Installed once, before the first window.

namespace qm {

void installButtonKeys();

} // namespace qm
