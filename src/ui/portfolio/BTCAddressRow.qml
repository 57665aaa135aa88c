import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// One derived Bitcoin address: kind, address with its copy button, balance, transactions,
// and the trash button while the pointer is over a row that may be deleted.
Rectangle {
    id: root
    property double addressId: 0
    property double derivationIndex: 0 // names the address to delete
    property string kind: ""
    property string address: ""
    property bool hasBalance: false
    property string balance: "0"
    property var txCount: 0
    property bool canDelete: false
    readonly property bool isHovered: hover.hovered
    signal deleteRequested()

    implicitHeight: row.implicitHeight + 16
    radius: 6
    color: isHovered ? BRPalette.surface : "transparent"

    HoverHandler { id: hover }

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 8
        spacing: 0
        Text {
            textFormat: Text.PlainText
            objectName: "addressKind"
            Layout.preferredWidth: 80
            text: root.kind
            font: BRFont.caption2
            color: BRPalette.success
        }
        RowLayout {
            Layout.fillWidth: true
            Layout.minimumWidth: 0
            spacing: 4
            SelectableValue {
                objectName: "addressText"
                Layout.fillWidth: true
                Layout.maximumWidth: Math.min(420, implicitWidth)
                text: root.address
                font: BRFont.monoSmall
                color: root.hasBalance ? BRPalette.textPrimary : BRPalette.textSecondary
            }
            CopyButton {
                objectName: "addressCopy"
                copyText: root.address
                copySubject: "address"
                font.pixelSize: 10
            }
            Item { Layout.fillWidth: true }
        }
        Text {
            textFormat: Text.PlainText
            objectName: "addressBalance"
            Layout.preferredWidth: 120
            horizontalAlignment: Text.AlignRight
            text: root.balance
            font: BRFont.monoSmall
            color: root.hasBalance ? BRPalette.textPrimary : BRPalette.textTertiary
        }
        Text {
            textFormat: Text.PlainText
            objectName: "addressTxCount"
            Layout.preferredWidth: 40
            horizontalAlignment: Text.AlignRight
            text: root.txCount
            font: BRFont.monoSmall
            color: BRPalette.textTertiary
        }
        Item {
            Layout.preferredWidth: 32
            Layout.preferredHeight: 16
            AbstractButton {
                id: deleteButton
                objectName: "addressTrash"
                FocusRing { controlRadius: 4 }
                Accessible.name: "Elimina indirizzo inutilizzato"
                anchors.centerIn: parent
                visible: root.canDelete && root.isHovered
                hoverEnabled: true
                BRToolTip {
                    visible: deleteButton.hovered
                    text: "Elimina indirizzo inutilizzato"
                }
                onClicked: root.deleteRequested()
                contentItem: BRSymbol {
                    name: "trash"
                    size: 10
                    color: BRPalette.error
                }
            }
        }
    }
}
