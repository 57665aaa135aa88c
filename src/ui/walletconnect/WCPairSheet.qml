import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// "Connect dApp": the user pastes the "wc:" URI a dApp shows and pairs with it. Everything it
// shows lives in the view model; Cancel empties the field and the error.
BRSheet {
    id: root
    objectName: "WCPairSheet"
    readonly property var vm: WalletShell.walletConnect
    width: 420
    height: Math.max(320, content.implicitHeight)

    onOpened: uriField.forceActiveFocus()

    contentItem: ColumnLayout {
        id: content
        spacing: 24

        Item { Layout.preferredHeight: 0 }
        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: 64
            implicitHeight: 64
            radius: 32
            color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.12)
            BRSymbol {
                anchors.centerIn: parent
                name: "link.badge.plus"
                size: 24
                font.weight: Font.DemiBold
                color: BRPalette.accent
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 8
            Text {
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                Accessible.role: Accessible.Heading
                text: "Connect dApp"
                font: BRFont.title
                color: BRPalette.textPrimary
            }
            Text {
                textFormat: Text.PlainText
                Layout.fillWidth: true
                Layout.leftMargin: 24
                Layout.rightMargin: 24
                text: "Paste the WalletConnect URI from the dApp"
                font: BRFont.caption
                color: BRPalette.textSecondary
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            spacing: 4
            InputField {
                id: uriField
                objectName: "pairingURIField"
                Accessible.name: "WalletConnect URI"
                Layout.fillWidth: true
                maximumWidth: 372
                font: BRFont.mono
                placeholderText: "wc:..."
                text: root.vm.pairingURI
                showsError: root.vm.hasPairError
                onTextEdited: root.vm.pairingURI = text
                // Return pairs whatever the field holds; the view model says what is wrong.
                onAccepted: root.vm.startPairing()
            }
            ErrorLine {
                objectName: "pairError"
                Layout.fillWidth: true
                text: root.vm.pairError
            }
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 24
            spacing: 12
            BRSecondaryButton {
                objectName: "pairCancelButton"
                text: "Cancel"
                onClicked: root.vm.cancelPairing()
            }
            BRPrimaryButton {
                id: connectButton
                objectName: "pairConnectButton"
                text: "Connect"
                enabled: root.vm.canConnect
                onClicked: root.vm.startPairing()
                contentItem: Row {
                    spacing: 6
                    BRBusyIndicator {
                        objectName: "pairSpinner"
                        visible: root.vm.isConnecting
                        running: visible
                        width: 14
                        height: 14
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Text {
                        textFormat: Text.PlainText
                        anchors.verticalCenter: parent.verticalCenter
                        text: connectButton.text
                        font: connectButton.font
                        color: BRPalette.accent
                    }
                }
            }
        }
    }
}
