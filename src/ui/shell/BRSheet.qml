import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// A modal sheet over the window: centred in the room below the window's menu bar, which it
// never covers, dimming what is behind it, on the second background layer. Closing it (its
// own button or Escape) clears whatever flag opened it. Opened or closed from the keys, it keeps
// the keyboard's place (PopupFocus).
Popup {
    id: root
    // The room the window's menu bar takes at its top; none outside the program's window.
    readonly property real menuBarHeight: ApplicationWindow.menuBar ? ApplicationWindow.menuBar.height : 0
    // The height below the menu bar: a sheet taller than this runs past the window's bottom.
    readonly property real heightBelowMenuBar: parent ? parent.height - menuBarHeight : 0
    parent: Overlay.overlay
    modal: true
    focus: true
    dim: true
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: Math.round(menuBarHeight + Math.max(0, (heightBelowMenuBar - height) / 2))
    padding: 0
    closePolicy: Popup.CloseOnEscape
    background: Rectangle {
        color: BRPalette.backgroundSecondary
        radius: 10
        border.width: 0.5
        border.color: BRPalette.border
    }
    Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.45) }
    readonly property PopupFocus focusPlace: PopupFocus { popup: root }
}
