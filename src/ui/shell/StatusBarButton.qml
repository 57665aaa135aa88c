import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// A plain symbol button of the status bar with its hover help.
AbstractButton {
    id: root
    property string symbol: ""
    property color symbolColor: BRPalette.textSecondary
    property string help: ""
    property real symbolSize: 12

    hoverEnabled: true
    // Named for assistive technology by its help.
    Accessible.name: help
    implicitWidth: 18
    implicitHeight: 18
    FocusRing { controlRadius: 4 }
    contentItem: BRSymbol {
        name: root.symbol
        size: root.symbolSize
        font.weight: Font.Medium
        color: root.symbolColor
        opacity: root.down ? 0.6 : 1
    }
    BRToolTip {
        objectName: "help"
        visible: root.hovered && root.help.length > 0
        text: root.help
    }
}
