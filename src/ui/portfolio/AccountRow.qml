import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// One account's summary, the label of its sidebar button: chain disc, name over address,
// balance at the right edge. Selected, the name and balance brighten; the address stays dim.
Control {
    id: root
    property string name: ""
    property string balance: ""
    property int chain: 0
    property string address: ""
    property bool isSelected: false

    topPadding: 4
    bottomPadding: 4
    contentItem: RowLayout {
        id: row
        spacing: 12
        ChainDiscIcon {
            id: disc
            chain: root.chain
            size: 32
        }
        ColumnLayout {
            spacing: 2
            Layout.fillWidth: true
            Layout.minimumWidth: 0
            Text {
                objectName: "accountRowName"
                text: root.name
                textFormat: Text.PlainText
                font: BRFont.body
                color: root.isSelected ? BRPalette.textPrimary : BRPalette.textSecondary
                elide: Text.ElideRight
                maximumLineCount: 1
                Layout.fillWidth: true
            }
            // The caller shortened the address already: it keeps its width, the name and the
            // balance give way when the row is narrow.
            Text {
                id: address
                objectName: "accountRowAddress"
                text: root.address
                textFormat: Text.PlainText
                font: BRFont.monoSmall
                color: BRPalette.textTertiary
                maximumLineCount: 1
                Layout.fillWidth: true
                Layout.minimumWidth: implicitWidth
            }
        }
        Text {
            objectName: "accountRowBalance"
            text: root.balance
            textFormat: Text.PlainText
            font: BRFont.caption
            color: root.isSelected ? BRPalette.textPrimary : BRPalette.textSecondary
            elide: Text.ElideRight
            maximumLineCount: 1
            // What the disc, the spacing and the address leave.
            Layout.maximumWidth: Math.max(0, row.width - disc.width - 2 * row.spacing
                                             - address.implicitWidth)
        }
    }
}
