#pragma once
// Where a visible Qt Quick item cannot be seen: Qt Quick reads an item as showing whenever
// it and its ancestors are visible, also when a sheet covers it, when it is scrolled away
// under the status bar or the network panel, and when a list no longer draws it.

class QQuickItem;

namespace qm {

// Whether an open modal popup of the item's window covers it: the item is in none of the
// popups from the topmost modal one up.
bool coveredByModalPopup(const QQuickItem* item);

// Whether nothing of the item can be seen although it is visible: it or an ancestor is fully
// transparent or culled (a list's row that its entry left), or its box lies wholly outside an
// ancestor that clips (a list scrolled under the status bar) or outside its window. An item
// without an area is judged by its place.
bool outOfSight(const QQuickItem* item);

} // namespace qm
