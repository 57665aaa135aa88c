import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The selected Bitcoin account's addresses: a count, "Nuovo" for a further receive address,
// why the last change was not stored, the column headers and one row per address. Without
// that account, nothing below the line.
ColumnLayout {
    id: root
    objectName: "btcAddressList"
    readonly property alias model: addresses
    spacing: 0

    BTCAddressListModel { id: addresses }

    component Header: Text {
        textFormat: Text.PlainText
        font.family: BRFont.family
        font.pixelSize: 10
        font.weight: Font.Medium
        font.letterSpacing: 1.2
        font.capitalization: Font.AllUppercase
        color: BRPalette.textTertiary
    }

    RowLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 24
        Layout.rightMargin: 24
        Layout.topMargin: 12
        Layout.bottomMargin: 8
        Text {
            textFormat: Text.PlainText
            objectName: "addressCount"
            text: addresses.countText
            font: BRFont.caption2
            color: BRPalette.textTertiary
        }
        Item { Layout.fillWidth: true }
        AbstractButton {
            id: generate
            objectName: "addressNew"
            FocusRing { controlRadius: 4 }
            Accessible.name: "Genera nuovo indirizzo"
            hoverEnabled: true
            BRToolTip {
                visible: generate.hovered
                text: "Genera nuovo indirizzo"
            }
            onClicked: addresses.generate()
            contentItem: Row {
                spacing: 4
                BRSymbol {
                    name: "plus"
                    size: 11
                    color: BRPalette.accent
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text {
                    textFormat: Text.PlainText
                    text: "Nuovo"
                    font: BRFont.label
                    color: BRPalette.accent
                }
            }
        }
    }

    // An address change that could not be stored (a keyring left locked) says so here.
    Text {
        objectName: "addressError"
        Accessible.role: Accessible.StaticText
        Accessible.name: text
        Layout.fillWidth: true
        Layout.leftMargin: 24
        Layout.rightMargin: 24
        Layout.bottomMargin: 8
        visible: addresses.errorText !== ""
        text: addresses.errorText
        textFormat: Text.PlainText
        font: BRFont.caption2
        color: BRPalette.error
        wrapMode: Text.Wrap
    }

    RowLayout {
        Layout.fillWidth: true
        // Inset as the rows' cells are (the list's 16 and each row's own 8), so that every
        // heading stands over its column.
        Layout.leftMargin: 16 + 8
        Layout.rightMargin: 16 + 8
        Layout.bottomMargin: 8
        spacing: 0
        // The address gives way (its middle elided) so that the balance and the count keep
        // their columns in the narrowest detail column.
        Header { objectName: "headerKind"; text: "Tipo"; Layout.preferredWidth: 80 }
        Header { text: "Indirizzo"; Layout.fillWidth: true }
        Header {
            objectName: "headerBalance"
            text: "Saldo"
            Layout.preferredWidth: 120
            horizontalAlignment: Text.AlignRight
        }
        Header {
            objectName: "headerTxCount"
            text: "Tx"
            Layout.preferredWidth: 40
            horizontalAlignment: Text.AlignRight
        }
        Item { Layout.preferredWidth: 32 }
    }

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: BRPalette.border
    }

    ListView {
        id: list
        objectName: "addressRows"
        visible: addresses.hasAccount
        Layout.fillWidth: true
        Layout.fillHeight: true
        Layout.preferredHeight: contentHeight + 16
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        topMargin: 8
        bottomMargin: 8
        spacing: 1
        clip: true
        model: addresses
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
        delegate: BTCAddressRow {
            required property var model
            objectName: "addressRow_" + model.addressId
            width: ListView.view.width
            addressId: model.addressId
            derivationIndex: model.derivationIndex
            kind: model.kind
            address: model.address
            hasBalance: model.hasBalance
            balance: model.balance
            txCount: model.txCount
            canDelete: model.canDelete
            onDeleteRequested: addresses.remove(derivationIndex)
        }
    }
}
