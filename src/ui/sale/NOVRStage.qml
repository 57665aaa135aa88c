import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// One stage of the sale's progress: a disc with its symbol (a check mark once completed) and
// its label. `stage`: 0 not reached, 1 active, 2 completed.
ColumnLayout {
    id: root
    property string label: ""
    property string symbol: ""
    property int stage: 0
    readonly property bool completed: stage === 2
    readonly property bool active: stage === 1
    readonly property color violet: Qt.rgba(153 / 255, 69 / 255, 1, 1)

    spacing: 4

    Rectangle {
        Layout.alignment: Qt.AlignHCenter
        implicitWidth: 36
        implicitHeight: 36
        radius: 18
        color: root.completed ? Qt.rgba(root.violet.r, root.violet.g, root.violet.b, 0.15)
                              : root.active ? Qt.rgba(root.violet.r, root.violet.g, root.violet.b, 0.08)
                                            : BRPalette.surface
        border.width: root.completed ? 1.5 : 0.5
        border.color: root.completed ? root.violet
                                     : root.active ? Qt.rgba(root.violet.r, root.violet.g, root.violet.b, 0.5)
                                                   : BRPalette.border
        BRSymbol {
            anchors.centerIn: parent
            name: root.completed ? "checkmark" : root.symbol
            size: 14
            font.weight: root.completed ? Font.DemiBold : Font.Normal
            color: root.completed ? Qt.rgba(192 / 255, 132 / 255, 252 / 255, 1)
                                  : root.active ? BRPalette.textPrimary : BRPalette.textTertiary
        }
    }
    Text {
        Layout.alignment: Qt.AlignHCenter
        textFormat: Text.PlainText
        text: root.label
        font: BRFont.systemFont(11, Font.Normal)
        color: root.completed || root.active ? BRPalette.textPrimary : BRPalette.textTertiary
    }
}
