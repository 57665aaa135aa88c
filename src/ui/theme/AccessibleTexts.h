#pragma once
// Qt Quick 6.4 leaves a Text out of the accessible tree unless it declares itself there
// (Accessible.role): a screen reader would hear the buttons of a screen and none of what it
// says. Here every text is a label of its own, read as what it shows, unless what holds it
// already reads it: a control whose name or description says it (a button's caption, a
// field's placeholder), or an item that reads as one text (a figure drawn character by
// character). An item marked Accessible.ignored (an icon's glyph) is left out with everything
// inside it.

#include <QString>
#include <optional>

class QAccessibleInterface;
class QQuickItem;

namespace qm {

// Makes the texts inside `holder` accessible, down to the items that are accessible already
// (they do the same for what is inside them). `holderNode` is the node `holder` stands for
// (none for a window's content item). Called before the tree below the node is read: a text
// made since then joins at the next reading.
void adoptTexts(QQuickItem* holder, const QAccessibleInterface* holderNode);

// What `item` shows when it is a text to read (a Text, a read-only field that masks nothing);
// nothing for any other item.
std::optional<QString> readableText(const QQuickItem* item);

// The text of the heading (Accessible.Heading) that names what holds it, a sheet: the first
// one shown inside `within`, else the first at all (a sheet's title while it shows its
// progress); empty when there is none.
QString headingText(const QQuickItem* within);

} // namespace qm
