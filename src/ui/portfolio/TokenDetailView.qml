import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// One token as the account holds it: disc, name, balance and dollar value, Send (with the
// token chosen) and Receive, and the account's transfers of this token. The back button
// returns to the account's screen.
Rectangle {
    id: root
    objectName: "tokenDetailView"
    property TokenDetailModel token
    readonly property alias history: list.history
    signal back()

    color: BRPalette.background

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.topMargin: 8
            Layout.bottomMargin: 8
            AbstractButton {
                objectName: "tokenBack"
                FocusRing { controlRadius: 4 }
                Accessible.name: "Back to " + (root.token ? root.token.chainName : "")
                onClicked: root.back()
                contentItem: Row {
                    spacing: 4
                    BRSymbol {
                        name: "chevron.left"
                        size: 12
                        font.weight: Font.DemiBold
                        color: BRPalette.accent
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Text {
                        objectName: "tokenBackLabel"
                        text: root.token ? root.token.chainName : ""
                        textFormat: Text.PlainText
                        font: BRFont.label
                        color: BRPalette.accent
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
            }
            Item { Layout.fillWidth: true }
        }

        TransactionListView {
            id: list
            objectName: "tokenHistory"
            Layout.fillWidth: true
            Layout.fillHeight: true
            history.accountId: root.token ? root.token.accountId : ""
            history.tokenContract: root.token ? root.token.contractAddress : ""
            emptyNote: "Transactions for " + (root.token ? root.token.symbol : "")
                       + " will appear here."
            screenHeader: ColumnLayout {
                spacing: 0
                ColumnLayout {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.topMargin: 16
                    Layout.bottomMargin: 24
                    spacing: 12
                    TokenDiscIcon {
                        Layout.alignment: Qt.AlignHCenter
                        symbol: root.token ? root.token.symbol : ""
                        size: 52
                    }
                    Text {
                        objectName: "tokenName"
                        Layout.alignment: Qt.AlignHCenter
                        Layout.maximumWidth: list.width - 48
                        text: root.token ? root.token.name : ""
                        textFormat: Text.PlainText
                        font: BRFont.headline
                        color: BRPalette.textPrimary
                        elide: Text.ElideRight
                    }
                    Item {
                        Layout.alignment: Qt.AlignHCenter
                        implicitWidth: balance.implicitWidth
                        implicitHeight: balance.implicitHeight
                        BRGlow {
                            anchors.fill: balance
                            source: balance
                            glowColor: BRPalette.accent
                            glowOpacity: 0.1
                            radius: 8
                        }
                        Text {
                            id: balance
                            objectName: "tokenBalance"
                            text: root.token ? root.token.balanceText : ""
                            textFormat: Text.PlainText
                            font: BRFont.largeTitle
                            color: BRPalette.textPrimary
                        }
                    }
                    Text {
                        objectName: "tokenFiat"
                        Layout.alignment: Qt.AlignHCenter
                        text: root.token ? root.token.fiatText : ""
                        textFormat: Text.PlainText
                        font: BRFont.body
                        color: BRPalette.textSecondary
                    }
                }
                RowLayout {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.bottomMargin: 24
                    spacing: 16
                    BRPrimaryButton {
                        id: send
                        objectName: "tokenSend"
                        text: "Send"
                        onClicked: sendSheet.open()
                        contentItem: ActionLabel {
                            symbol: "arrow.up.right"
                            text: send.text
                            font: send.font
                            color: BRPalette.accent
                        }
                    }
                    BRSecondaryButton {
                        id: receive
                        objectName: "tokenReceive"
                        text: "Receive"
                        onClicked: receiveSheet.open()
                        contentItem: ActionLabel {
                            symbol: "arrow.down.left"
                            text: receive.text
                            font: receive.font
                        }
                    }
                }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
                    implicitHeight: 0.5
                    color: BRPalette.border
                }
            }
        }
    }

    SendSheetHost {
        id: sendSheet
        chain: root.token ? root.token.chain : 0
        preselectedToken: root.token ? root.token.token : null
    }
    ReceiveSheetHost {
        id: receiveSheet
        chain: root.token ? root.token.chain : 0
        address: root.token ? root.token.address : ""
    }
}
