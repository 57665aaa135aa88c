import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// Where to send coins to this wallet: the account's address on `chain` as a QR code and as
// text to select or copy. It talks to no network.
Item {
    id: root
    property int chain: 0
    property string address: ""
    signal closeRequested()

    implicitWidth: 400
    implicitHeight: 460

    ReceiveViewModel {
        id: receive
        chain: root.chain
        address: root.address
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 24

        SheetHeader {
            objectName: "receiveHeader"
            Layout.fillWidth: true
            title: receive.title
            onCloseRequested: root.closeRequested()
        }
        Item { Layout.fillHeight: true }
        Item {
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: 212
            implicitHeight: 212
            BRGlow {
                anchors.fill: card
                source: card
                glowColor: BRPalette.accent
                glowOpacity: 0.08
                radius: 16
            }
            Rectangle {
                id: card
                objectName: "qrCard"
                anchors.fill: parent
                radius: 10
                color: "white"
            }
            QRCodeView {
                objectName: "receiveQRCode"
                anchors.centerIn: parent
                width: 200
                height: 200
                content: receive.qrPayload
                // Named by the address it holds (not its payment URI), once it is drawn.
                Accessible.role: Accessible.Graphic
                Accessible.name: hasCode ? "QR code of the address " + root.address : ""
                Accessible.ignored: !hasCode
            }
        }
        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: 352
            spacing: 8
            Text {
                objectName: "receiveCaption"
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                text: receive.addressCaption
                font: BRFont.label
                color: BRPalette.textSecondary
            }
            // An address longer than a line breaks into lines of even length (a Solana
            // address into two halves), never a line with a lone stub of characters. The
            // field's own unwrapped width gives the advance of its monospaced characters.
            Rectangle {
                readonly property real charWidth:
                    Math.max(1, addressText.implicitWidth) / Math.max(1, root.address.length)
                readonly property int maxChars: Math.max(1, Math.floor((352 - 24) / charWidth))
                readonly property int lines: Math.max(1, Math.ceil(root.address.length / maxChars))
                readonly property int perLine: Math.ceil(root.address.length / lines)
                Layout.alignment: Qt.AlignHCenter
                Layout.maximumWidth: 352
                implicitWidth: Math.min(addressText.implicitWidth, Math.ceil(perLine * charWidth) + 1)
                               + 24
                implicitHeight: addressText.implicitHeight + 24
                radius: 10
                color: BRPalette.surface
                border.width: 0.5
                border.color: BRPalette.border
                TextEdit {
                    id: addressText
                    objectName: "receiveAddress"
                    anchors.fill: parent
                    anchors.margins: 12
                    textFormat: TextEdit.PlainText
                    text: root.address
                    readOnly: true
                    selectByMouse: true
                    wrapMode: TextEdit.WrapAnywhere
                    horizontalAlignment: TextEdit.AlignHCenter
                    font: BRFont.mono
                    color: BRPalette.textPrimary
                    selectionColor: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g,
                                            BRPalette.accent.b, 0.3)
                    selectedTextColor: BRPalette.textPrimary
                    Accessible.name: root.address
                }
            }
            CopyButton {
                objectName: "receiveCopy"
                Layout.alignment: Qt.AlignHCenter
                copyText: root.address
                copySubject: "address"
            }
        }
        Item { Layout.fillHeight: true }
    }
}
