#pragma once
// A desktop program started without a desktop (over SSH, from a plain console, with a
// display that is gone): one line that says so and status 1, where Qt would print its
// platform plugins and abort.

#include <optional>
#include <string>

namespace qm {

// The line to print when the window system the program would use cannot be there: neither
// DISPLAY nor WAYLAND_DISPLAY is set while the platform asked for (QT_QPA_PLATFORM or
// -platform, none meaning the default) is X11's or Wayland's. None otherwise.
std::optional<std::string> missingGraphicalSession(int argc, char** argv);

// While it lives (around building the QApplication): Qt's own messages are held back, and a
// fatal one (no platform could be opened) prints the line above instead and ends the
// process with status 1. Once it goes, the messages held back are passed on.
class GraphicalSessionGuard {
public:
    GraphicalSessionGuard();
    ~GraphicalSessionGuard();
    GraphicalSessionGuard(const GraphicalSessionGuard&) = delete;
    GraphicalSessionGuard& operator=(const GraphicalSessionGuard&) = delete;
};

} // namespace qm
