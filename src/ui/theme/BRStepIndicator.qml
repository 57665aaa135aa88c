import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// One step of a confirmation sheet's progress: a disc with the step's symbol (a check mark once
// done, in `checkTint`) and its label. Done wins over active.
ColumnLayout {
    id: root
    property string label: ""
    property string symbol: ""
    property bool done: false
    property bool active: false
    property color tint: BRPalette.accent
    property color checkTint: tint
    readonly property string look: done ? "done" : active ? "active" : "pending"

    spacing: 4

    Rectangle {
        objectName: "stepDisc"
        Layout.alignment: Qt.AlignHCenter
        implicitWidth: 36
        implicitHeight: 36
        radius: 18
        color: root.done ? Qt.rgba(root.tint.r, root.tint.g, root.tint.b, 0.15)
                         : root.active ? Qt.rgba(root.tint.r, root.tint.g, root.tint.b, 0.08)
                                       : BRPalette.surface
        border.width: root.done ? 1.5 : 0.5
        border.color: root.done ? root.tint
                                : root.active ? Qt.rgba(root.tint.r, root.tint.g, root.tint.b, 0.5)
                                              : BRPalette.border
        BRSymbol {
            objectName: "stepSymbol"
            anchors.centerIn: parent
            name: root.done ? "checkmark" : root.symbol
            size: 14
            font.weight: root.done ? Font.DemiBold : Font.Normal
            color: root.done ? root.checkTint : root.active ? BRPalette.textPrimary : BRPalette.textTertiary
        }
    }
    Text {
        objectName: "stepLabel"
        Layout.alignment: Qt.AlignHCenter
        textFormat: Text.PlainText
        text: root.label
        font: BRFont.systemFont(11, Font.Normal)
        color: root.done || root.active ? BRPalette.textPrimary : BRPalette.textTertiary
    }
}
