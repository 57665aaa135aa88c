import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// Fills in a payment of the chain's coin or, on the EVM chains, of an added token: the
// recipient (checked as typed), the amount (with Max), the fee level and its estimate; then
// "Review Transaction" has the model prepare the send, and the confirmation opens on the
// prepared figures. It touches no network itself: the model estimates and prepares, the
// confirmation sends.
Item {
    id: root
    property int chain: 0
    // A token map to start with (from a token's screen), or null for the coin.
    property var preselectedToken: null
    readonly property alias viewModel: vm
    signal closeRequested()

    implicitWidth: 480
    implicitHeight: Math.max(560, form.implicitHeight + 48)

    readonly property bool isEVM: chain >= 1 && chain <= 3
    readonly property string nativeSymbol: ["BTC", "ETH", "ETH", "POL", "SOL"][chain] || "BTC"

    SendViewModel {
        id: vm
        objectName: "sendViewModel"
        appState: WalletShell.appState
        chain: root.chain
        // Every change of the level or the amount estimates again (the model replaces the
        // estimate in flight); choosing an asset or a recipient does not.
        onSelectedFeeLevelChanged: refreshFees()
        onAmountStringChanged: refreshFees()
    }

    Component.onCompleted: {
        // A failure of an earlier sheet's send is that sheet's: this one starts afresh.
        if (vm.broadcastStep === TransactionFlow.Failed)
            vm.reset()
        if (root.preselectedToken)
            vm.selectedToken = root.preselectedToken
        vm.refreshFees()
        // A send of this chain still running, or ended and not yet seen: its progress.
        if (vm.broadcastStep !== TransactionFlow.Idle && vm.broadcastStep !== TransactionFlow.Failed)
            vm.showConfirmation = true
    }

    Rectangle { anchors.fill: parent; color: BRPalette.backgroundSecondary; radius: 10 }

    ColumnLayout {
        id: form
        anchors.fill: parent
        anchors.margins: 24
        spacing: 24

        SheetHeader {
            objectName: "sendHeader"
            Layout.fillWidth: true
            title: "Send " + vm.symbol
            onCloseRequested: root.closeRequested()
        }

        RowLayout {
            objectName: "assetRow"
            visible: root.isEVM
            Layout.fillWidth: true
            spacing: 8
            Text {
                textFormat: Text.PlainText
                text: "Asset"
                font: BRFont.label
                color: BRPalette.textSecondary
            }
            AbstractButton {
                id: assetButton
                objectName: "assetPicker"
                FocusRing { controlRadius: 6 }
                Accessible.name: "Asset"
                hoverEnabled: true
                implicitWidth: assetLabel.implicitWidth + 40
                implicitHeight: 26
                contentItem: RowLayout {
                    spacing: 6
                    Text {
                        id: assetLabel
                        objectName: "assetChoice"
                        textFormat: Text.PlainText
                        Layout.leftMargin: 10
                        text: vm.selectedToken ? vm.selectedToken.symbol
                                               : root.nativeSymbol + " (Native)"
                        font: BRFont.callout
                        color: BRPalette.textPrimary
                    }
                    BRSymbol {
                        name: "chevron.right"
                        size: 9
                        rotation: 90
                        color: BRPalette.textTertiary
                    }
                }
                background: Rectangle {
                    radius: 6
                    color: assetButton.hovered ? BRPalette.surface : "transparent"
                    border.width: 0.5
                    border.color: BRPalette.border
                }
                onClicked: assetMenu.popup(assetButton, 0, assetButton.height + 2)
            }
            Item { Layout.fillWidth: true }
            BRMenu {
                id: assetMenu
                objectName: "assetMenu"
                BRMenuItem {
                    objectName: "asset_native"
                    text: root.nativeSymbol + " (Native)"
                    onTriggered: vm.selectedToken = null
                }
                Instantiator {
                    model: vm.assetTokens
                    delegate: BRMenuItem {
                        required property var modelData
                        objectName: "asset_" + modelData.symbol
                        text: modelData.symbol
                        onTriggered: vm.selectedToken = modelData
                    }
                    onObjectAdded: (index, object) => assetMenu.insertItem(index + 1, object)
                    onObjectRemoved: (index, object) => assetMenu.removeItem(object)
                }
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            Text {
                textFormat: Text.PlainText
                text: "Recipient Address"
                font: BRFont.label
                color: BRPalette.textSecondary
            }
            InputField {
                id: recipientField
                objectName: "recipientField"
                Layout.fillWidth: true
                maximumWidth: 432
                padding: 10
                font: BRFont.mono
                placeholderText: root.chain === 0 ? "bc1q..."
                                 : root.chain === 4 ? "Base58 address..." : "0x..."
                text: vm.recipientAddress
                onTextEdited: vm.recipientAddress = text
                Accessible.name: "Recipient Address"
                Component.onCompleted: forceActiveFocus()
            }
            ErrorLine {
                objectName: "recipientError"
                Layout.fillWidth: true
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                horizontalAlignment: Text.AlignLeft
                text: vm.recipientError
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            RowLayout {
                Layout.fillWidth: true
                spacing: 6
                Text {
                    textFormat: Text.PlainText
                    text: "Amount"
                    font: BRFont.label
                    color: BRPalette.textSecondary
                }
                Item { Layout.fillWidth: true }
                Text {
                    objectName: "balanceText"
                    textFormat: Text.PlainText
                    text: "Balance: " + vm.balanceText
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
                AbstractButton {
                    objectName: "maxButton"
                    FocusRing { controlRadius: 4 }
                    Accessible.name: "Max"
                    contentItem: Text {
                        textFormat: Text.PlainText
                        text: "Max"
                        font: BRFont.label
                        color: BRPalette.accent
                    }
                    onClicked: vm.useMaxAmount()
                }
            }
            // The balance above is unknown, or the last known one.
            Text {
                objectName: "balanceNote"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                Layout.alignment: Qt.AlignRight
                visible: text !== ""
                text: vm.balanceNote
                textFormat: Text.PlainText
                font: BRFont.caption2
                color: BRPalette.textTertiary
            }
            Rectangle {
                Layout.fillWidth: true
                implicitHeight: amountField.implicitHeight
                radius: 6
                color: BRPalette.surface
                border.width: 0.5
                border.color: vm.amountError.length > 0
                              ? Qt.rgba(BRPalette.error.r, BRPalette.error.g, BRPalette.error.b, 0.5)
                              : BRPalette.border
                RowLayout {
                    anchors.fill: parent
                    spacing: 0
                    TextField {
                        id: amountField
                        objectName: "amountField"
                        FocusRing { controlRadius: 4 }
                        Layout.fillWidth: true
                        padding: 10
                        placeholderText: "0.00"
                        placeholderTextColor: BRPalette.textTertiary
                        font: BRFont.largeTitle
                        color: BRPalette.textPrimary
                        selectByMouse: true
                        inputMethodHints: Qt.ImhFormattedNumbersOnly | Qt.ImhNoPredictiveText
                        background: null
                        text: vm.amountString
                        onTextEdited: vm.amountString = text
                        Accessible.name: "Amount"
                    }
                    Text {
                        objectName: "amountSymbol"
                        textFormat: Text.PlainText
                        Layout.rightMargin: 8
                        text: vm.symbol
                        font: BRFont.body
                        color: BRPalette.textTertiary
                    }
                }
            }
            ErrorLine {
                objectName: "amountError"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignLeft
                text: vm.amountError
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            Text {
                textFormat: Text.PlainText
                text: "Network Fee"
                font: BRFont.label
                color: BRPalette.textSecondary
            }
            FeePickerView {
                objectName: "feePicker"
                Layout.fillWidth: true
                vm: vm
                chain: root.chain
            }
            // Rates no server gave are the levels' defaults, and say so.
            Text {
                objectName: "feeRatesNote"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                visible: text.length > 0
                Layout.fillWidth: true
                text: vm.feeRatesNote
                textFormat: Text.PlainText
                font: BRFont.caption2
                color: BRPalette.textTertiary
                wrapMode: Text.Wrap
            }
        }

        Rectangle {
            objectName: "estimateBox"
            visible: vm.estimatedFeeString.length > 0
            Layout.fillWidth: true
            implicitHeight: estimate.implicitHeight + 16
            radius: 6
            color: BRPalette.surface
            ColumnLayout {
                id: estimate
                anchors.fill: parent
                anchors.margins: 8
                spacing: 4
                RowLayout {
                    Layout.fillWidth: true
                    Text {
                        textFormat: Text.PlainText
                        text: "Estimated Fee"
                        font: BRFont.caption2
                        color: BRPalette.textTertiary
                    }
                    Item { Layout.fillWidth: true }
                    BRBusyIndicator {
                        visible: vm.isFetchingFees
                        running: visible
                        implicitWidth: 12
                        implicitHeight: 12
                    }
                    Text {
                        objectName: "estimatedFee"
                        textFormat: Text.PlainText
                        visible: !vm.isFetchingFees
                        text: vm.estimatedFeeString
                        font: BRFont.monoSmall
                        color: BRPalette.warning
                    }
                }
                RowLayout {
                    visible: vm.estimatedTotalString.length > 0
                    Layout.fillWidth: true
                    Text {
                        textFormat: Text.PlainText
                        text: "Total (amount + fee)"
                        font: BRFont.caption2
                        color: BRPalette.textTertiary
                    }
                    Item { Layout.fillWidth: true }
                    Text {
                        objectName: "estimatedTotal"
                        textFormat: Text.PlainText
                        text: vm.estimatedTotalString
                        font: BRFont.monoSmall
                        color: BRPalette.textPrimary
                    }
                }
            }
        }

        // Why the send could not be prepared, else why the last one failed.
        ErrorLine {
            objectName: "sendError"
            Layout.fillWidth: true
            // Read out by assistive technology, as the button it answers.
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            text: vm.prepareError.length > 0 ? vm.prepareError
                  : vm.broadcastStep === TransactionFlow.Failed ? vm.errorMessage : ""
        }

        Item { Layout.fillHeight: true }

        BRPrimaryButton {
            id: reviewButton
            objectName: "reviewButton"
            Layout.alignment: Qt.AlignHCenter
            text: "Review Transaction"
            enabled: vm.canReview && !vm.isPreparing
            // The model prepares the send; the confirmation opens when it is ready.
            onClicked: vm.review()
            contentItem: Row {
                spacing: 6
                BRBusyIndicator {
                    objectName: "preparingIndicator"
                    visible: vm.isPreparing
                    running: visible
                    anchors.verticalCenter: parent.verticalCenter
                    implicitWidth: 13
                    implicitHeight: 13
                }
                BRSymbol {
                    visible: !vm.isPreparing
                    anchors.verticalCenter: parent.verticalCenter
                    name: "arrow.up.right"
                    size: 13
                    color: BRPalette.accent
                }
                Text {
                    textFormat: Text.PlainText
                    anchors.verticalCenter: parent.verticalCenter
                    text: reviewButton.text
                    font: reviewButton.font
                    color: BRPalette.accent
                }
            }
        }
    }

    SendConfirmSheet {
        id: confirm
        vm: vm
        chain: root.chain
        onDone: root.closeRequested()
    }
}
