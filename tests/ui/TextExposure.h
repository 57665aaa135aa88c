#pragma once
// Whether a screen reader hears what a window shows, and only that: the window's accessible
// tree is read the way an assistive technology reads it (from the window down, child by
// child), then every text on screen is looked up in what that reading found, and every text
// the reading found as showing in what is on screen.

#include <QStringList>

class QAccessibleInterface;
class QObject;
class QQuickWindow;

namespace qm::test {

// The texts of `window` that a screen reader gets wrong: those shown that its accessible tree
// does not read, as "object name: text" (the class name where the text has no object name),
// then those it reads as showing that are not shown, as "read, not drawn: object name: text".
// A text is on screen when it and its ancestors are visible, not transparent and not culled (a
// list's row that its entry left), its box meets every clipping ancestor's, and no modal popup
// above covers it. It is read when its own node, showing, has it in its name, its description
// or its text, or else when the nearest accessible item above it is a showing node that has it
// in its name or description. Texts of an item marked Accessible.ignored (an icon's glyph) and
// password fields are left out.
QStringList unexposedTexts(QQuickWindow* window);

// The node a screen reader reads for `object`: an item's, or a popup's item's; null when it
// has none.
QAccessibleInterface* accessibleNode(QObject* object);

// Turns accessibility on as a screen reader does in the program (Qt Quick Controls name their
// items and make their popups accessible only then) and installs the program's corrections
// of what Qt Quick tells it. Called once the application exists, before the first window.
void readLikeAScreenReader();

} // namespace qm::test
