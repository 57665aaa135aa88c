import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The line between groups of a menu's commands.
MenuSeparator {
    topPadding: 4
    bottomPadding: 4
    contentItem: Rectangle {
        implicitWidth: 200
        implicitHeight: 1
        color: BRPalette.border
    }
}
