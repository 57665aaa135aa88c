import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// Everything the wallet knows of one history entry: direction and amount, status, one card
// per known field and the link to the chain's block explorer. It shows the copy it was given
// and changes nothing; "Done" asks the presenter to close it.
Rectangle {
    id: root
    objectName: "transactionDetailView"
    property TransactionDetailModel transaction
    readonly property color directionColor: transaction && transaction.isReceived
                                            ? BRPalette.success : BRPalette.error
    signal done()

    color: BRPalette.background
    radius: 10

    // A card's width in a row of two: half the row beside a shown partner, else all of it.
    function pairWidth(partnerShown) {
        return partnerShown ? (content.width - 8) / 2 : content.width
    }

    component Plain: Text {
        textFormat: Text.PlainText
        font: BRFont.callout
        color: BRPalette.textPrimary
    }

    Button {
        id: doneButton
        objectName: "transactionDetailDone"
        FocusRing { controlRadius: 4 }
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.margins: 12
        z: 1
        flat: true
        text: "Done"
        font: BRFont.label
        onClicked: root.done()
        contentItem: Text {
            textFormat: Text.PlainText
            text: doneButton.text
            font: doneButton.font
            color: BRPalette.accent
        }
        background: Item {}
    }

    Flickable {
        id: flick
        anchors.fill: parent
        anchors.topMargin: doneButton.height + 12
        clip: true
        contentWidth: width
        contentHeight: content.implicitHeight + 48
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

        ColumnLayout {
            id: content
            x: 24
            y: 24
            width: flick.width - 48
            spacing: 24
            visible: !!root.transaction

            ColumnLayout {
                Layout.preferredWidth: content.width
                Layout.topMargin: 16
                spacing: 12
                Loader {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.preferredWidth: 52
                    Layout.preferredHeight: 52
                    sourceComponent: root.transaction && root.transaction.hasTokenSymbol
                                     ? tokenDisc : directionDisc
                }
                Text {
                    objectName: "detailTitle"
                    Layout.alignment: Qt.AlignHCenter
                    Accessible.role: Accessible.Heading
                    text: root.transaction ? root.transaction.title : ""
                    textFormat: Text.PlainText
                    font: BRFont.body
                    color: BRPalette.textSecondary
                }
                Item {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: content.width
                    implicitWidth: amount.implicitWidth
                    implicitHeight: amount.implicitHeight
                    BRGlow {
                        anchors.fill: amount
                        source: amount
                        glowColor: root.directionColor
                        glowOpacity: 0.1
                        radius: 8
                    }
                    Text {
                        id: amount
                        objectName: "detailAmount"
                        width: Math.min(implicitWidth, content.width)
                        text: root.transaction ? root.transaction.amountText : ""
                        textFormat: Text.PlainText
                        font: BRFont.display
                        fontSizeMode: Text.HorizontalFit
                        minimumPixelSize: 20
                        color: root.directionColor
                    }
                }
            }

            StatusBadge {
                objectName: "detailStatus"
                Layout.alignment: Qt.AlignHCenter
                status: root.transaction ? root.transaction.status : "pending"
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 8

                RowLayout {
                    id: tokenPair
                    objectName: "tokenPair"
                    Layout.fillWidth: true
                    visible: !!root.transaction && root.transaction.hasTokenSymbol
                    spacing: 8
                    DetailCard {
                        id: cardToken
                        objectName: "cardToken"
                        Layout.preferredWidth: root.pairWidth(cardContract.visible)
                        Layout.alignment: Qt.AlignTop
                        visible: !!root.transaction && root.transaction.hasTokenName
                        label: "Token"
                        RowLayout {
                            width: parent.width
                            spacing: 8
                            TokenDiscIcon {
                                symbol: root.transaction ? root.transaction.tokenSymbol : ""
                                size: 20
                                        }
                            Plain {
                                objectName: "tokenLabel"
                                Layout.fillWidth: true
                                text: root.transaction ? root.transaction.tokenLabel : ""
                                elide: Text.ElideRight
                            }
                        }
                    }
                    DetailCard {
                        id: cardContract
                        objectName: "cardContract"
                        Layout.preferredWidth: root.pairWidth(cardToken.visible)
                        Layout.alignment: Qt.AlignTop
                        visible: !!root.transaction && root.transaction.hasContract
                        label: "Contract"
                        CopyableValue {
                            copySubject: "contract address"
                            text: root.transaction ? root.transaction.contractAddress : ""
                        }
                    }
                }
                DetailCard {
                    objectName: "cardHash"
                    Layout.fillWidth: true
                    label: "Transaction Hash"
                    CopyableValue {
                        copySubject: "transaction hash"
                        text: root.transaction ? root.transaction.txHash : ""
                    }
                }
                DetailCard {
                    objectName: "cardFrom"
                    Layout.fillWidth: true
                    label: "From"
                    CopyableValue {
                        copySubject: "sender address"
                        text: root.transaction ? root.transaction.from : ""
                    }
                }
                DetailCard {
                    objectName: "cardTo"
                    Layout.fillWidth: true
                    label: "To"
                    CopyableValue {
                        copySubject: "recipient address"
                        text: root.transaction ? root.transaction.to : ""
                    }
                }
                RowLayout {
                    id: blockPair
                    Layout.fillWidth: true
                    spacing: 8
                    DetailCard {
                        id: cardBlock
                        objectName: "cardBlock"
                        Layout.preferredWidth: root.pairWidth(true)
                        Layout.alignment: Qt.AlignTop
                        visible: !!root.transaction && root.transaction.hasBlockHeight
                        label: "Block Height"
                        Plain {
                            objectName: "blockHeight"
                            text: root.transaction ? root.transaction.blockHeightText : ""
                            font: BRFont.mono
                        }
                    }
                    DetailCard {
                        objectName: "cardConfirmations"
                        Layout.preferredWidth: root.pairWidth(cardBlock.visible)
                        Layout.alignment: Qt.AlignTop
                        label: "Confirmations"
                        Plain {
                            objectName: "confirmations"
                            text: root.transaction ? root.transaction.confirmationsText : ""
                            font: BRFont.mono
                            color: root.transaction && root.transaction.isConfirmedOnce
                                   ? BRPalette.success : BRPalette.textTertiary
                        }
                    }
                }
                DetailCard {
                    objectName: "cardFee"
                    Layout.fillWidth: true
                    visible: !!root.transaction && root.transaction.hasFee
                    label: "Fee"
                    Plain {
                        objectName: "fee"
                        text: root.transaction ? root.transaction.fee : ""
                        font: BRFont.mono
                    }
                }
                DetailCard {
                    objectName: "cardDate"
                    Layout.fillWidth: true
                    visible: !!root.transaction && root.transaction.hasDate
                    label: "Date"
                    Plain {
                        objectName: "date"
                        text: root.transaction ? root.transaction.dateText : ""
                    }
                }
                DetailCard {
                    objectName: "cardNetwork"
                    Layout.fillWidth: true
                    label: "Network"
                    RowLayout {
                        spacing: 8
                        ChainDiscIcon {
                            chain: root.transaction ? root.transaction.chain : 0
                            size: 20
                        }
                        Plain {
                            objectName: "network"
                            text: root.transaction ? root.transaction.chainName : ""
                        }
                    }
                }
                AbstractButton {
                    id: explorer
                    objectName: "explorerLink"
                    FocusRing { controlRadius: 10 }
                    Accessible.role: Accessible.Link
                    Accessible.name: root.transaction ? root.transaction.explorerLabel : ""
                    Layout.fillWidth: true
                    visible: !!root.transaction && root.transaction.explorerURL !== ""
                    hoverEnabled: true
                    implicitHeight: linkRow.implicitHeight + 24
                    onClicked: root.transaction.openExplorer()
                    background: BRSurface { elevated: true; padding: 0 }
                    contentItem: Item {
                        Row {
                            id: linkRow
                            anchors.centerIn: parent
                            spacing: 6
                            BRSymbol {
                                name: "arrow.up.right.square"
                                size: 13
                                color: BRPalette.accent
                                anchors.verticalCenter: parent.verticalCenter
                            }
                            Text {
                                objectName: "explorerLabel"
                                text: root.transaction ? root.transaction.explorerLabel : ""
                                textFormat: Text.PlainText
                                font: BRFont.label
                                color: BRPalette.accent
                                anchors.verticalCenter: parent.verticalCenter
                            }
                        }
                    }
                }
            }
        }
    }

    Component {
        id: tokenDisc
        TokenDiscIcon { symbol: root.transaction ? root.transaction.tokenSymbol : ""; size: 52 }
    }
    Component {
        id: directionDisc
        MetallicDiscIcon {
            systemName: root.transaction && root.transaction.isReceived
                        ? "arrow.down.left" : "arrow.up.right"
            color: root.directionColor
            size: 52
        }
    }
}
