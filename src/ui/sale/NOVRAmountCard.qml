import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// One side of the sale's order: its title, the token chip, and either the editable NOVR amount
// or the computed USDC figure ("0.00" when empty, dim while it is "—").
ColumnLayout {
    id: root
    property string title: ""
    property string symbol: ""
    property bool isEditable: false
    property string text: ""
    // The editable field's edits.
    signal edited(string text)
    readonly property alias field: amountField

    spacing: 4

    Text {
        textFormat: Text.PlainText
        text: root.title
        font: BRFont.systemFont(11, Font.Medium)
        color: BRPalette.textSecondary
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: row.implicitHeight + 20
        radius: 6
        color: BRPalette.surface
        border.width: 0.5
        border.color: BRPalette.border
        RowLayout {
            id: row
            anchors.fill: parent
            anchors.margins: 10
            spacing: 8
            Rectangle {
                objectName: "tokenChip"
                implicitWidth: chip.implicitWidth + 16
                implicitHeight: chip.implicitHeight + 12
                radius: height / 2
                color: BRPalette.surface
                RowLayout {
                    id: chip
                    anchors.centerIn: parent
                    spacing: 6
                    TokenDiscIcon {
                        symbol: root.symbol
                        size: 28
                    }
                    Text {
                        textFormat: Text.PlainText
                        text: root.symbol
                        font: BRFont.systemFont(15, Font.Medium)
                        color: BRPalette.textPrimary
                    }
                }
            }
            TextField {
                id: amountField
                objectName: "amountField"
                FocusRing { controlRadius: 4 }
                Accessible.name: "Amount"
                visible: root.isEditable
                Layout.fillWidth: true
                text: root.text
                placeholderText: "0.00"
                placeholderTextColor: BRPalette.textTertiary
                font: BRFont.systemFont(28, Font.Medium)
                color: BRPalette.textPrimary
                horizontalAlignment: TextInput.AlignRight
                inputMethodHints: Qt.ImhFormattedNumbersOnly | Qt.ImhNoPredictiveText
                selectByMouse: true
                background: null
                onTextEdited: root.edited(text)
            }
            Text {
                objectName: "amountText"
                textFormat: Text.PlainText
                visible: !root.isEditable
                Layout.fillWidth: true
                text: root.text.length > 0 ? root.text : "0.00"
                elide: Text.ElideLeft
                horizontalAlignment: Text.AlignRight
                font: BRFont.systemFont(28, Font.Medium)
                color: root.text.length === 0 || root.text === "\u2014" ? BRPalette.textTertiary
                                                                          : BRPalette.textPrimary
            }
        }
    }
}
