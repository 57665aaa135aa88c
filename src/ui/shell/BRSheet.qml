import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// A modal sheet over the window: centred, dimming what is behind it, on the second
// background layer. Closing it (its own button or Escape) clears whatever flag opened it.
Popup {
    id: root
    modal: true
    focus: true
    dim: true
    anchors.centerIn: Overlay.overlay
    padding: 0
    closePolicy: Popup.CloseOnEscape
    background: Rectangle {
        color: BRPalette.backgroundSecondary
        radius: 10
        border.width: 0.5
        border.color: BRPalette.border
    }
    Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.45) }
}
