import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// One account entry: name and balance over the shortened address. Drawn simply until the
// portfolio screens give it its final form.
Control {
    id: root
    property string name: ""
    property string balance: ""
    property int chain: 0
    property string address: ""
    property bool isSelected: false

    contentItem: ColumnLayout {
        spacing: 2
        RowLayout {
            spacing: 8
            Text {
                text: root.name
                font: BRFont.caption
                color: root.isSelected ? BRPalette.textPrimary : BRPalette.textSecondary
            }
            Item { Layout.fillWidth: true }
            Text {
                text: root.balance
                font: BRFont.monoSmall
                color: BRPalette.textPrimary
                elide: Text.ElideLeft
                Layout.maximumWidth: 150
            }
        }
        Text {
            text: root.address
            font: BRFont.monoSmall
            color: BRPalette.textTertiary
        }
    }
}
