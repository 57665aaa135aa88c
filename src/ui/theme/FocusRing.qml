import QtQuick
import Quillmark.Ui

// Where the keyboard is: an outline in the theme's light accent around the control it is
// placed in, drawn while that control holds the focus from Tab, Backtab or a shortcut. A click
// gives the focus without it: the pointer already shows the user where they are.
Rectangle {
    id: ring
    // The corner radius of the control's own shape: the ring keeps its distance around it.
    property real controlRadius: 6
    // How far the ring's outer edge lies outside the control; 0 keeps it inside, for rows of a
    // list whose clip would cut an outer ring.
    property real outset: 3
    readonly property Item control: parent
    readonly property bool byKeyboard: control !== null && control.activeFocus
                                       && (control.focusReason === Qt.TabFocusReason
                                           || control.focusReason === Qt.BacktabFocusReason
                                           || control.focusReason === Qt.ShortcutFocusReason)

    // Scrolls the lists and panels the control sits in so that it, and its ring, are in view:
    // Tab also reaches controls scrolled out of sight.
    function reveal() {
        const margin = Math.max(0, outset) + 4
        for (let view = control.parent; view; view = view.parent) {
            if (!(view instanceof Flickable))
                continue
            const at = control.mapToItem(view.contentItem, 0, 0)
            view.contentY = shifted(view.contentY, view.height, at.y, control.height, margin,
                                    view.originY, view.contentHeight)
            view.contentX = shifted(view.contentX, view.width, at.x, control.width, margin,
                                    view.originX, view.contentWidth)
        }
    }
    // The least move of a view's offset along one axis that shows [start, start + size]
    // with `margin` around it, within the content.
    function shifted(offset, room, start, size, margin, origin, extent) {
        let moved = offset
        if (start - margin < offset)
            moved = start - margin
        else if (start + size + margin > offset + room)
            moved = start + size + margin - room
        return Math.max(origin, Math.min(moved, origin + extent - room))
    }
    onByKeyboardChanged: if (byKeyboard) reveal()

    objectName: "focusRing"
    anchors.fill: parent
    anchors.margins: -outset
    // Above the control's own content and background, which it only outlines.
    z: 100
    visible: byKeyboard
    radius: Math.max(0, controlRadius + outset)
    color: "transparent"
    border.width: 2
    border.color: BRPalette.accentLight
}
