import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The swap's confirmation: the review (what goes in, what should come out, the least that
// may, exact and whole; the slippage, the route and the router's whole address; on the EVM
// chains the max network fee of the prepared transactions; the wallet password; Cancel and
// Swap), then, from the swap's first step on, its progress read from the chain's flow until
// the chain has answered.
// "Swap complete!" only for a receipt that says so; a swap the chain reverted, or one that
// left without an answer in time, says so with its id. A failure before anything left brings
// the review back with its text under the field. Opened while the model's showConfirmation is
// set; Cancel clears it; Done resets the model and asks the swap sheet to close (done()).
BRSheet {
    id: root
    objectName: "swapConfirmSheet"
    required property SwapViewModel vm
    readonly property var flow: vm.flow
    readonly property int step: flow ? flow.step : TransactionFlow.Idle
    readonly property bool showsProgress: step !== TransactionFlow.Idle
                                          && step !== TransactionFlow.Failed
    readonly property bool ended: step === TransactionFlow.Confirmed
                                  || step === TransactionFlow.Submitted
                                  || step === TransactionFlow.Reverted
    readonly property bool evm: vm.chain === 1 || vm.chain === 2 || vm.chain === 3
    readonly property bool showsApprove: evm && vm.tokenIn.isNative === false
    readonly property string symbolIn: vm.tokenIn.symbol !== undefined ? vm.tokenIn.symbol : ""
    readonly property string symbolOut: vm.tokenOut.symbol !== undefined ? vm.tokenOut.symbol : ""
    signal done()

    width: 440
    height: Math.max(480, content.implicitHeight + 48)
    // While it runs the progress offers no way out; Escape is the review's Cancel.
    closePolicy: showsProgress ? Popup.NoAutoClose : Popup.CloseOnEscape
    visible: vm.showConfirmation
    onClosed: vm.showConfirmation = false
    onOpened: if (!showsProgress) passwordField.focusField()

    // Step >= s, in the order the steps run (an approval only for a token paid on EVM).
    function reached(s) {
        const order = [TransactionFlow.CheckingAllowance, TransactionFlow.Approving,
                       TransactionFlow.Signing, TransactionFlow.Broadcasting,
                       TransactionFlow.WaitingConfirmation, TransactionFlow.Confirmed]
        const now = ended ? order.length - 1 : order.indexOf(step)
        return now >= order.indexOf(s)
    }
    readonly property string stepTitle: {
        switch (step) {
        case TransactionFlow.CheckingAllowance: return "Checking allowance..."
        case TransactionFlow.Approving: return "Approving token..."
        case TransactionFlow.Signing: return "Signing transaction..."
        case TransactionFlow.Broadcasting: return "Broadcasting to network..."
        case TransactionFlow.WaitingConfirmation: return "Waiting for confirmation..."
        case TransactionFlow.Confirmed: return "Swap complete!"
        case TransactionFlow.Submitted: return "Swap submitted"
        case TransactionFlow.Reverted: return "Swap failed"
        }
        return ""
    }

    contentItem: Item {
        ColumnLayout {
            id: content
            anchors.fill: parent
            anchors.margins: 24
            spacing: 24

            // Review.
            ColumnLayout {
                objectName: "reviewFace"
                visible: !root.showsProgress
                Layout.fillWidth: true
                spacing: 24
                onVisibleChanged: if (visible && root.opened) passwordField.focusField()

                Rectangle {
                    Layout.alignment: Qt.AlignHCenter
                    implicitWidth: 64
                    implicitHeight: 64
                    radius: 32
                    color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.12)
                    BRSymbol {
                        anchors.centerIn: parent
                        name: "arrow.triangle.swap"
                        size: 24
                        font.weight: Font.DemiBold
                        color: BRPalette.accent
                    }
                }
                Text {
                    Layout.alignment: Qt.AlignHCenter
                    textFormat: Text.PlainText
                    Accessible.role: Accessible.Heading
                    text: "Confirm Swap"
                    font: BRFont.systemFont(22, Font.Medium)
                    color: BRPalette.textPrimary
                }
                BRSurface {
                    objectName: "detailsCard"
                    Layout.fillWidth: true
                    elevated: true
                    padding: 16
                    ColumnLayout {
                        width: parent.width
                        spacing: 12
                        // Every figure exact and whole: what is signed is what is read.
                        DetailRow {
                            objectName: "rowFrom"
                            label: "From"
                            value: root.vm.exactAmountInText + " " + root.symbolIn
                        }
                        Divider {}
                        DetailRow {
                            objectName: "rowTo"
                            label: "To (est.)"
                            value: root.vm.exactOutputText + " " + root.symbolOut
                        }
                        Divider {}
                        DetailRow {
                            objectName: "rowMinimum"
                            // Worked out from the slippage alone when the order states no
                            // minimum: nothing enforces it.
                            label: root.vm.minimumIsEstimate ? "Min. received (est.)"
                                                             : "Min. received"
                            value: root.vm.minimumReceivedText + " " + root.symbolOut
                        }
                        Divider {}
                        DetailRow {
                            objectName: "rowSlippage"
                            label: "Slippage"
                            value: root.vm.slippageText
                        }
                        Divider { visible: root.vm.route.length > 0 }
                        DetailRow {
                            objectName: "rowRoute"
                            visible: root.vm.route.length > 0
                            label: "Route"
                            value: root.vm.route
                        }
                        // The contract the swap calls (and any approval names), whole: two
                        // addresses that differ in the middle must not look the same.
                        Divider { visible: root.vm.contractAddress.length > 0 }
                        ColumnLayout {
                            objectName: "rowContract"
                            visible: root.vm.contractAddress.length > 0
                            Layout.fillWidth: true
                            spacing: 4
                            Text {
                                textFormat: Text.PlainText
                                text: "Router contract"
                                font: BRFont.systemFont(12, Font.Normal)
                                color: BRPalette.textTertiary
                            }
                            WholeValue {
                                objectName: "value"
                                Layout.fillWidth: true
                                text: root.vm.contractAddress
                                font: BRFont.monospacedFont(12, Font.Normal)
                            }
                        }
                        // The most the prepared transactions (an approval first, when one is
                        // needed) may pay the network: what the swap signs.
                        Divider { visible: root.evm }
                        DetailRow {
                            objectName: "rowMaxFee"
                            visible: root.evm
                            label: "Max network fee"
                            value: root.vm.hasReview ? root.vm.reviewMaxFee : "\u2014"
                        }
                    }
                }
                // An earlier transaction that may still go through: this one replaces it.
                Text {
                    objectName: "replacementNote"
                    visible: text.length > 0
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    textFormat: Text.PlainText
                    text: root.vm.replacementNote
                    font: BRFont.systemFont(11, Font.Normal)
                    color: BRPalette.warning
                }
                Text {
                    objectName: "feeNote"
                    visible: root.evm && root.vm.reviewIncludesApproval
                    Layout.fillWidth: true
                    wrapMode: Text.Wrap
                    textFormat: Text.PlainText
                    text: "Includes the approval of " + root.symbolIn + ". The swap's gas is "
                          + "estimated once the approval is in a block; should it need more, "
                          + "the new fee is shown before the swap is signed."
                    font: BRFont.systemFont(11, Font.Normal)
                    color: BRPalette.textSecondary
                }
                ColumnLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 4
                    Text {
                        textFormat: Text.PlainText
                        text: "Enter password to sign"
                        font: BRFont.systemFont(11, Font.Medium)
                        color: BRPalette.textSecondary
                    }
                    PasswordField {
                        id: passwordField
                        accessibleName: "Enter password to sign"
                        Layout.alignment: Qt.AlignHCenter
                        spacing: 4
                        entry: root.vm.entry
                        fieldName: "swapPasswordField"
                        errorName: "swapError"
                        placeholderText: "Password"
                        onAccepted: root.vm.executeSwap()
                    }
                }
                RowLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 12
                    BRSecondaryButton {
                        objectName: "swapCancelButton"
                        text: "Cancel"
                        onClicked: root.vm.showConfirmation = false
                    }
                    BRPrimaryButton {
                        objectName: "swapConfirmButton"
                        text: "Swap"
                        // On EVM chains only the prepared swap is signed.
                        enabled: !root.vm.isSending && root.vm.hasPassword
                                 && (!root.evm || root.vm.hasReview)
                        contentItem: BRSymbolButtonLabel {
                            symbol: "arrow.triangle.swap"
                            text: "Swap"
                        }
                        onClicked: root.vm.executeSwap()
                    }
                }
                // No server can say whether the earlier transaction went through: only the
                // user's choice signs this one beside it.
                BRSecondaryButton {
                    objectName: "swapAnywayButton"
                    visible: root.step === TransactionFlow.Failed && root.flow !== null
                             && root.flow.offersSendAnyway
                    Layout.alignment: Qt.AlignHCenter
                    text: "Send Anyway"
                    enabled: !root.vm.isSending && root.vm.hasPassword && root.vm.hasReview
                    onClicked: root.vm.sendAnyway()
                }
            }

            // Progress.
            ColumnLayout {
                objectName: "progressFace"
                visible: root.showsProgress
                Layout.fillWidth: true
                Layout.fillHeight: true
                spacing: 24

                Item { Layout.fillHeight: true }
                BRProgressRing {
                    objectName: "progressRing"
                    Layout.alignment: Qt.AlignHCenter
                    progress: root.flow ? root.flow.progress : 0
                }
                Text {
                    objectName: "stepTitle"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    textFormat: Text.PlainText
                    text: root.stepTitle
                    font: BRFont.systemFont(15, Font.Medium)
                    color: root.step === TransactionFlow.Confirmed ? BRPalette.success
                         : root.step === TransactionFlow.Reverted ? BRPalette.error
                         : BRPalette.textPrimary
                    onTextChanged: fadeIn.restart()
                    NumberAnimation on opacity {
                        id: fadeIn
                        from: 0.3
                        to: 1
                        duration: 300
                        easing.type: Easing.InOutQuad
                    }
                }
                // The press followed an earlier transaction the chain knows: that one is shown.
                Text {
                    objectName: "earlierNote"
                    visible: text.length > 0
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    textFormat: Text.PlainText
                    text: root.flow ? root.flow.earlierNote : ""
                    font: BRFont.systemFont(11, Font.Normal)
                    color: BRPalette.textSecondary
                }
                // Why the swap did not end as hoped: the chain's refusal, or no answer yet.
                Text {
                    objectName: "stepNote"
                    visible: text.length > 0
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    textFormat: Text.PlainText
                    text: root.step === TransactionFlow.Reverted ? root.flow.errorMessage
                        : root.step === TransactionFlow.Submitted
                          ? "Sent, but the network has not confirmed it yet. Check its ID before trying again."
                          : ""
                    font: BRFont.systemFont(11, Font.Normal)
                    color: root.step === TransactionFlow.Reverted ? BRPalette.error
                                                                   : BRPalette.textSecondary
                }
                Row {
                    objectName: "stepIndicators"
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 16
                    BRStepIndicator {
                        objectName: "indicatorApprove"
                        visible: root.showsApprove
                        label: "Approve"
                        symbol: "checkmark.shield"
                        done: root.reached(TransactionFlow.Signing)
                        active: root.step === TransactionFlow.CheckingAllowance
                                || root.step === TransactionFlow.Approving
                    }
                    Connector { visible: root.showsApprove; lit: root.reached(TransactionFlow.Signing) }
                    BRStepIndicator {
                        objectName: "indicatorSign"
                        label: "Sign"
                        symbol: "signature"
                        done: root.reached(TransactionFlow.Broadcasting)
                        active: root.step === TransactionFlow.Signing
                    }
                    Connector { lit: root.reached(TransactionFlow.Broadcasting) }
                    BRStepIndicator {
                        objectName: "indicatorBroadcast"
                        label: "Broadcast"
                        symbol: "antenna.radiowaves.left.and.right"
                        done: root.reached(TransactionFlow.WaitingConfirmation)
                        active: root.step === TransactionFlow.Broadcasting
                    }
                    Connector { lit: root.reached(TransactionFlow.WaitingConfirmation) }
                    BRStepIndicator {
                        objectName: "indicatorDone"
                        label: "Done"
                        symbol: "checkmark.circle"
                        done: root.step === TransactionFlow.Confirmed
                        active: root.step === TransactionFlow.WaitingConfirmation || root.ended
                    }
                }
                ColumnLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 4
                    Text {
                        objectName: "progressSummary"
                        Layout.alignment: Qt.AlignHCenter
                        Layout.maximumWidth: content.width
                        horizontalAlignment: Text.AlignHCenter
                        textFormat: Text.PlainText
                        text: root.flow ? root.flow.summary : ""
                        font: BRFont.systemFont(28, Font.Medium)
                        // Smaller to fit, and past the smallest size onto more lines: every
                        // digit stays.
                        fontSizeMode: Text.HorizontalFit
                        minimumPixelSize: 14
                        wrapMode: Text.WrapAnywhere
                        color: BRPalette.textPrimary
                    }
                    Text {
                        objectName: "progressChain"
                        Layout.alignment: Qt.AlignHCenter
                        textFormat: Text.PlainText
                        text: root.flow ? root.flow.detail : ""
                        font: BRFont.systemFont(11, Font.Normal)
                        color: BRPalette.textTertiary
                    }
                }
                ColumnLayout {
                    objectName: "txIdBlock"
                    visible: root.flow !== null && root.flow.txHash.length > 0
                    Layout.fillWidth: true
                    Layout.leftMargin: 16
                    Layout.rightMargin: 16
                    spacing: 4
                    Text {
                        Layout.alignment: Qt.AlignHCenter
                        textFormat: Text.PlainText
                        text: "TX ID"
                        font: BRFont.systemFont(11, Font.Medium)
                        color: BRPalette.textTertiary
                    }
                    SelectableValue {
                        objectName: "txId"
                        Layout.fillWidth: true
                        text: root.flow ? root.flow.txHash : ""
                        font: BRFont.monospacedFont(11, Font.Normal)
                        color: BRPalette.textSecondary
                    }
                }
                Item { Layout.fillHeight: true }
                BRPrimaryButton {
                    objectName: "swapDoneButton"
                    visible: root.ended
                    Layout.alignment: Qt.AlignHCenter
                    text: "Done"
                    onClicked: {
                        root.vm.reset()
                        root.done()
                    }
                }
            }
        }
    }

    // A label and its value on the right; a value too long for the line wraps, never elided.
    component DetailRow: RowLayout {
        id: detailRow
        property string label: ""
        property string value: ""
        Layout.fillWidth: true
        spacing: 12
        Text {
            // Level with the value's first line.
            Layout.alignment: Qt.AlignBaseline
            textFormat: Text.PlainText
            text: detailRow.label
            font: BRFont.systemFont(12, Font.Normal)
            color: BRPalette.textTertiary
        }
        WholeValue {
            objectName: "value"
            // The room the label leaves, however long the value.
            Layout.alignment: Qt.AlignBaseline
            Layout.fillWidth: true
            Layout.preferredWidth: 0
            horizontalAlignment: TextEdit.AlignRight
            text: detailRow.value
            font: BRFont.monospacedFont(13, Font.Medium)
        }
    }
    component Divider: Rectangle {
        Layout.fillWidth: true
        implicitHeight: 0.5
        color: BRPalette.border
    }
    component Connector: Rectangle {
        property bool lit: false
        width: 24
        height: 1
        y: 18 - 0.5
        color: lit ? Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.4)
                   : BRPalette.border
    }
}
