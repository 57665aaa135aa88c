import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// One side of the swap screen: its label ("From", "To"), the side's token chip and the amount:
// a field on the paying side, the quoted output on the other (a grey "—" while no quote is
// known: no amount was quoted).
Rectangle {
    id: root
    property string label: ""
    property bool editable: false
    property var token: ({})
    property int chain: 0
    // The paying side's text, or the quoted output ("" for none).
    property string amount: ""
    property alias field: amountField
    signal chipClicked()
    signal amountEdited(string text)

    implicitHeight: column.implicitHeight + 20
    radius: 6
    color: BRPalette.surface
    border.width: 0.5
    border.color: BRPalette.border

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 10
        spacing: 4

        RowLayout {
            Layout.fillWidth: true
            Text {
                textFormat: Text.PlainText
                text: root.label
                font: BRFont.systemFont(11, Font.Medium)
                color: BRPalette.textSecondary
            }
            Item { Layout.fillWidth: true }
            // Shown beside "From" without an action: no maximum is settled for a swap.
            AbstractButton {
                objectName: "maxButton"
                FocusRing { controlRadius: 4 }
                Accessible.name: "Max"
                visible: root.editable
                contentItem: Text {
                    textFormat: Text.PlainText
                    text: "Max"
                    font: BRFont.systemFont(11, Font.Medium)
                    color: BRPalette.accent
                }
            }
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            SwapTokenChip {
                objectName: root.editable ? "tokenInChip" : "tokenOutChip"
                Accessible.name: root.label + " token: " + (hasToken ? token.symbol : "Select")
                token: root.token
                chain: root.chain
                onClicked: root.chipClicked()
            }
            TextField {
                id: amountField
                objectName: "amountField"
                FocusRing { controlRadius: 4 }
                Accessible.name: root.label + " amount"
                visible: root.editable
                Layout.fillWidth: true
                text: root.amount
                placeholderText: "0.00"
                placeholderTextColor: BRPalette.textTertiary
                font: BRFont.systemFont(28, Font.Medium)
                color: BRPalette.textPrimary
                horizontalAlignment: TextInput.AlignRight
                inputMethodHints: Qt.ImhFormattedNumbersOnly | Qt.ImhNoPredictiveText
                selectByMouse: true
                background: null
                padding: 0
                onTextEdited: root.amountEdited(text)
            }
            Text {
                objectName: "amountOut"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                visible: !root.editable
                Layout.fillWidth: true
                textFormat: Text.PlainText
                text: root.amount.length > 0 ? root.amount : "\u2014"
                font: BRFont.systemFont(28, Font.Medium)
                color: root.amount.length > 0 ? BRPalette.textPrimary : BRPalette.textTertiary
                horizontalAlignment: Text.AlignRight
                elide: Text.ElideRight
            }
        }
    }
}
