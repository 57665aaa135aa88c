import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The swap sheet on one chain: "From" and "To" with their tokens, the amount typed and the
// quoted output, the slippage menu, the state of the quote, and "Review Swap". Each opening
// makes a fresh view model (dropped at closing, with its quote, amount and password) and picks
// the default tokens. A quote is asked for 0.5 s after the last change of the amount, the
// slippage or a token (one restartable timer: a burst of typing sends one request), and once
// 0.5 s after opening. A swap still running, or ended and not yet dismissed, on the chain's
// flow shows its confirmation at once.
BRSheet {
    id: root
    objectName: "swapView"
    property int chain: 0
    // The current opening's model (null while closed), for tests.
    readonly property var viewModel: loader.item ? loader.item.vm : null

    width: 480
    height: 560
    onClosed: loader.active = false
    onAboutToShow: loader.active = true

    contentItem: Loader {
        id: loader
        active: false
        sourceComponent: Item {
            id: screen
            readonly property alias vm: swapVM

            SwapViewModel {
                id: swapVM
                Component.onCompleted: {
                    chain = root.chain
                    // A failure of an earlier opening is not this one's: its text goes.
                    if (flow && flow.step === TransactionFlow.Failed)
                        reset()
                    chooseDefaultTokens()
                    quoteTimer.restart()
                    if (flow && flow.step !== TransactionFlow.Idle
                            && flow.step !== TransactionFlow.Failed)
                        showConfirmation = true
                }
                onAmountInStringChanged: quoteTimer.restart()
                onSlippageBpsChanged: quoteTimer.restart()
            }
            Timer {
                id: quoteTimer
                objectName: "quoteTimer"
                interval: 500
                onTriggered: swapVM.requestQuote()
            }

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 24
                spacing: 24

                RowLayout {
                    Layout.fillWidth: true
                    Text {
                        textFormat: Text.PlainText
                        Accessible.role: Accessible.Heading
                        text: "Swap"
                        font: BRFont.systemFont(22, Font.Medium)
                        color: BRPalette.textPrimary
                    }
                    Item { Layout.fillWidth: true }
                    AbstractButton {
                        id: slippageButton
                        objectName: "slippageButton"
                        FocusRing { controlRadius: height / 2 }
                        Accessible.name: "Slippage " + swapVM.slippageText
                        leftPadding: 8
                        rightPadding: 8
                        topPadding: 4
                        bottomPadding: 4
                        onClicked: slippageMenu.open()
                        background: Rectangle {
                            radius: height / 2
                            color: BRPalette.surface
                        }
                        contentItem: Row {
                            spacing: 4
                            BRSymbol {
                                anchors.verticalCenter: parent.verticalCenter
                                name: "gearshape"
                                size: 12
                                color: BRPalette.textSecondary
                            }
                            Text {
                                objectName: "slippageLabel"
                                anchors.verticalCenter: parent.verticalCenter
                                textFormat: Text.PlainText
                                text: swapVM.slippageText + " slip"
                                font: BRFont.systemFont(11, Font.Medium)
                                color: BRPalette.textSecondary
                            }
                        }
                        SlippageChoices {
                            id: slippageMenu
                            objectName: "slippageMenu"
                            choices: [{ value: 10, text: "0.1%" }, { value: 50, text: "0.5%" },
                                      { value: 100, text: "1%" }, { value: 300, text: "3%" }]
                            current: swapVM.slippageBps
                            onChosen: value => swapVM.slippageBps = value
                        }
                    }
                    AbstractButton {
                        objectName: "closeSwapButton"
                        FocusRing { controlRadius: 4 }
                        Accessible.name: "Close"
                        implicitWidth: 24
                        implicitHeight: 24
                        contentItem: BRSymbol {
                            name: "xmark.circle.fill"
                            size: 17
                            color: BRPalette.textTertiary
                        }
                        onClicked: root.close()
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 0
                    SwapSideCard {
                        id: fromCard
                        objectName: "fromCard"
                        Layout.fillWidth: true
                        label: "From"
                        chain: root.chain
                        editable: true
                        token: swapVM.tokenIn
                        amount: swapVM.amountInString
                        onChipClicked: tokenInPicker.open()
                        onAmountEdited: text => swapVM.amountInString = text
                    }
                    BRHoverEffect {
                        Layout.alignment: Qt.AlignHCenter
                        Layout.topMargin: -6
                        Layout.bottomMargin: -6
                        z: 1
                        hoverScale: 1.1
                        glowColor: BRPalette.accent
                        implicitWidth: 36
                        implicitHeight: 36
                        AbstractButton {
                            objectName: "flipButton"
                            FocusRing { controlRadius: 18 }
                            Accessible.name: "Flip"
                            width: 36
                            height: 36
                            onClicked: {
                                swapVM.flipTokens()
                                quoteTimer.restart()
                            }
                            background: Rectangle {
                                radius: 18
                                color: BRPalette.surface
                                border.width: 0.5
                                border.color: BRPalette.border
                            }
                            contentItem: BRSymbol {
                                name: "arrow.up.arrow.down"
                                size: 14
                                font.weight: Font.DemiBold
                                color: BRPalette.accent
                            }
                        }
                    }
                    SwapSideCard {
                        objectName: "toCard"
                        Layout.fillWidth: true
                        label: "To"
                        chain: root.chain
                        token: swapVM.tokenOut
                        amount: swapVM.expectedOutputText
                        onChipClicked: tokenOutPicker.open()
                    }
                }

                Item {
                    objectName: "quoteArea"
                    Layout.fillWidth: true
                    implicitHeight: Math.max(quoting.implicitHeight, quoteError.implicitHeight,
                                             routeRow.implicitHeight)
                    RowLayout {
                        id: quoting
                        objectName: "quoting"
                        visible: swapVM.isQuoting
                        spacing: 8
                        BRBusyIndicator {
                            implicitWidth: 16
                            implicitHeight: 16
                            running: parent.visible
                        }
                        Text {
                            textFormat: Text.PlainText
                            text: "Fetching quote..."
                            font: BRFont.systemFont(11, Font.Normal)
                            color: BRPalette.textTertiary
                        }
                    }
                    Text {
                        id: quoteError
                        objectName: "quoteError"
                        width: parent.width
                        visible: !swapVM.isQuoting && swapVM.quoteError.length > 0
                        textFormat: Text.PlainText
                        text: swapVM.quoteError
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                        wrapMode: Text.Wrap
                        font: BRFont.systemFont(11, Font.Normal)
                        color: BRPalette.error
                    }
                    RowLayout {
                        id: routeRow
                        objectName: "routeRow"
                        width: parent.width
                        visible: !swapVM.isQuoting && swapVM.quoteError.length === 0
                                 && swapVM.route.length > 0
                        Text {
                            Layout.leftMargin: 4
                            textFormat: Text.PlainText
                            text: "Route"
                            font: BRFont.systemFont(11, Font.Medium)
                            color: BRPalette.textTertiary
                        }
                        Item { Layout.fillWidth: true }
                        Text {
                            objectName: "routeText"
                            Layout.rightMargin: 4
                            textFormat: Text.PlainText
                            text: swapVM.route
                            font: BRFont.systemFont(11, Font.Medium)
                            color: BRPalette.textSecondary
                        }
                    }
                }

                // Why the swap of this quote could not be prepared (too little to pay its
                // gas, a node that refuses it).
                Text {
                    objectName: "prepareError"
                    Layout.fillWidth: true
                    visible: text.length > 0
                    textFormat: Text.PlainText
                    text: swapVM.prepareError
                    wrapMode: Text.Wrap
                    font: BRFont.systemFont(11, Font.Normal)
                    color: BRPalette.error
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }

                Item { Layout.fillHeight: true }

                BRPrimaryButton {
                    objectName: "reviewSwapButton"
                    Layout.fillWidth: true
                    text: "Review Swap"
                    enabled: swapVM.canSwap && !swapVM.isPreparing
                    contentItem: Item {
                        implicitWidth: reviewLabel.implicitWidth
                        implicitHeight: reviewLabel.implicitHeight
                        BRSymbolButtonLabel {
                            id: reviewLabel
                            anchors.fill: parent
                            visible: !swapVM.isPreparing
                            symbol: "arrow.triangle.swap"
                            text: "Review Swap"
                        }
                        BRBusyIndicator {
                            objectName: "preparingIndicator"
                            anchors.centerIn: parent
                            visible: swapVM.isPreparing
                            running: visible
                            implicitWidth: 14
                            implicitHeight: 14
                        }
                    }
                    // The model prepares the swap; the confirmation opens when it is ready.
                    onClicked: swapVM.review()
                }
            }

            SwapTokenPicker {
                id: tokenInPicker
                objectName: "tokenInPicker"
                chain: root.chain
                tokens: swapVM.availableTokens
                selectedToken: swapVM.tokenIn
                onPicked: token => {
                    swapVM.tokenIn = token
                    quoteTimer.restart()
                }
            }
            SwapTokenPicker {
                id: tokenOutPicker
                objectName: "tokenOutPicker"
                chain: root.chain
                tokens: swapVM.availableTokens
                selectedToken: swapVM.tokenOut
                onPicked: token => {
                    swapVM.tokenOut = token
                    quoteTimer.restart()
                }
            }
            SwapConfirmSheet {
                vm: swapVM
                onDone: root.close()
            }
        }
    }
}
