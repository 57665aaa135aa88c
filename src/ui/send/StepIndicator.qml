import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// One step of a send (Sign, Broadcast, Confirm): a circle with the step's symbol, a check
// once done, highlighted while active, in the error colour when the chain refused it.
ColumnLayout {
    id: root
    property string label: ""
    property string symbol: ""
    property bool done: false
    property bool active: false
    property bool failed: false

    spacing: 4

    Rectangle {
        Layout.alignment: Qt.AlignHCenter
        implicitWidth: 36
        implicitHeight: 36
        radius: 18
        readonly property color accent: BRPalette.accent
        color: root.failed ? Qt.rgba(BRPalette.error.r, BRPalette.error.g, BRPalette.error.b, 0.12)
             : root.done ? Qt.rgba(accent.r, accent.g, accent.b, 0.15)
             : root.active ? Qt.rgba(accent.r, accent.g, accent.b, 0.08)
             : BRPalette.surface
        border.width: root.failed || root.done ? 1.5 : 0.5
        border.color: root.failed ? BRPalette.error
                    : root.done ? accent
                    : root.active ? Qt.rgba(accent.r, accent.g, accent.b, 0.5)
                    : BRPalette.border
        BRSymbol {
            objectName: "stepSymbol"
            anchors.centerIn: parent
            name: root.failed ? "xmark" : root.done ? "checkmark" : root.symbol
            size: 14
            font.weight: root.done || root.failed ? Font.DemiBold : Font.Normal
            color: root.failed ? BRPalette.error
                 : root.done ? BRPalette.accent
                 : root.active ? BRPalette.textPrimary : BRPalette.textTertiary
        }
    }
    Text {
        objectName: "stepLabel"
        textFormat: Text.PlainText
        Layout.alignment: Qt.AlignHCenter
        text: root.label
        font: BRFont.caption2
        color: root.done || root.active || root.failed ? BRPalette.textPrimary
                                                       : BRPalette.textTertiary
    }
}
