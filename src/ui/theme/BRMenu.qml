import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// A menu of the window's bar in the theme's colours; its commands show their shortcuts.
Menu {
    id: control
    padding: 4
    delegate: BRMenuItem {}
    background: Rectangle {
        implicitWidth: 220
        color: BRPalette.backgroundSecondary
        border.width: 1
        border.color: BRPalette.border
        radius: 6
    }
}
