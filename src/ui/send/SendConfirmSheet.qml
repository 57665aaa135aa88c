import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// Reviews a prepared send and signs it with the password, then follows it: the review (the
// whole recipient, the prepared amount, fee and total, never shortened; the password, Cancel
// and Send) while nothing has left or after a failure before anything left; the progress
// (ring, steps, the transaction id, Done) from signing on. Closing it leaves the send running:
// the send screen shows it again.
BRSheet {
    id: root
    objectName: "sendConfirmSheet"
    property SendViewModel vm: null
    property int chain: 0
    // Done after the send ended: the send screen closes too.
    signal done()

    readonly property int step: vm ? vm.broadcastStep : TransactionFlow.Idle
    readonly property bool reviewing: step === TransactionFlow.Idle || step === TransactionFlow.Failed
    readonly property bool ended: step === TransactionFlow.Confirmed
                                  || step === TransactionFlow.Submitted
                                  || step === TransactionFlow.Reverted
    readonly property string symbol: vm ? vm.symbol : ""
    readonly property string shortRecipient: {
        const to = vm ? vm.recipientAddress : ""
        return to.length <= 16 ? to : to.slice(0, 8) + "..." + to.slice(-6)
    }
    readonly property var flow: vm ? vm.flow : null

    width: 420
    height: Math.min(Math.max(440, presentation.implicitHeight + 48),
                     parent ? parent.height - 32 : 640)

    Connections {
        target: root.vm
        function onShowConfirmationChanged() {
            if (root.vm.showConfirmation)
                root.open()
            else
                root.close()
        }
        function onBroadcastStepChanged() {
            if (root.vm.broadcastStep === TransactionFlow.Failed)
                passwordField.focusField()
        }
    }
    onClosed: if (vm) vm.showConfirmation = false
    onOpened: if (reviewing) passwordField.focusField()

    // By the chain; the model refuses a second start while one runs.
    function send() {
        if (!vm)
            return
        if (chain === 0)
            vm.sendBitcoin()
        else if (chain === 4)
            vm.sendSolana()
        else
            vm.sendEVM()
    }

    contentItem: Item {
        ColumnLayout {
            id: presentation
            anchors.fill: parent
            anchors.margins: 24
            spacing: 24

            // --- Review
            ColumnLayout {
                objectName: "reviewPresentation"
                visible: root.reviewing
                Layout.fillWidth: true
                spacing: 20

                Rectangle {
                    Layout.alignment: Qt.AlignHCenter
                    implicitWidth: 64
                    implicitHeight: 64
                    radius: 32
                    readonly property color chainColor: BRPalette.chainColor(root.chain)
                    color: Qt.rgba(chainColor.r, chainColor.g, chainColor.b, 0.12)
                    BRSymbol {
                        anchors.centerIn: parent
                        name: "arrow.up.right"
                        size: 24
                        font.weight: Font.DemiBold
                        color: parent.chainColor
                    }
                }
                Text {
                    textFormat: Text.PlainText
                    Layout.alignment: Qt.AlignHCenter
                    Accessible.role: Accessible.Heading
                    text: "Confirm Transaction"
                    font: BRFont.title
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
                        ColumnLayout {
                            Layout.fillWidth: true
                            spacing: 4
                            Text {
                                textFormat: Text.PlainText
                                text: "To"
                                font: BRFont.caption
                                color: BRPalette.textTertiary
                            }
                            // Two addresses that differ only in the middle must not look alike.
                            WholeValue {
                                objectName: "detailTo"
                                Layout.fillWidth: true
                                text: root.vm ? root.vm.reviewRecipient : ""
                                font: BRFont.monoMedium
                            }
                        }
                        Rectangle { Layout.fillWidth: true; implicitHeight: 1; color: BRPalette.border }
                        DetailRow {
                            label: "Amount"
                            value: root.vm ? root.vm.reviewAmount : ""
                            valueName: "detailAmount"
                        }
                        Rectangle { Layout.fillWidth: true; implicitHeight: 1; color: BRPalette.border }
                        DetailRow {
                            label: "Fee"
                            value: root.vm ? root.vm.reviewFee : ""
                            valueName: "detailFee"
                        }
                        Rectangle { Layout.fillWidth: true; implicitHeight: 1; color: BRPalette.border }
                        DetailRow {
                            label: "Total"
                            value: root.vm ? root.vm.reviewTotal : ""
                            valueName: "detailTotal"
                        }
                    }
                }
                // An earlier send that may still go through: this one replaces it.
                Text {
                    objectName: "replacementNote"
                    textFormat: Text.PlainText
                    visible: text.length > 0
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: root.vm ? root.vm.replacementNote : ""
                    font: BRFont.caption2
                    color: BRPalette.warning
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 4
                    Text {
                        textFormat: Text.PlainText
                        Layout.alignment: Qt.AlignHCenter
                        text: "Enter password to sign"
                        font: BRFont.label
                        color: BRPalette.textSecondary
                    }
                    PasswordField {
                        id: passwordField
                        accessibleName: "Enter password to sign"
                        Layout.alignment: Qt.AlignHCenter
                        entry: root.vm ? root.vm.passwordEntry : null
                        fieldName: "sendPasswordField"
                        errorName: "sendErrorLine"
                        showsError: root.step === TransactionFlow.Failed
                        errorText: root.step === TransactionFlow.Failed && root.vm
                                   ? root.vm.errorMessage : ""
                        spacing: 8
                        // Return sends even with an empty field; the model refuses a second start.
                        onAccepted: root.send()
                    }
                }
                RowLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 12
                    BRSecondaryButton {
                        objectName: "cancelSendButton"
                        text: "Cancel"
                        onClicked: root.vm.showConfirmation = false
                    }
                    BRPrimaryButton {
                        id: sendButton
                        objectName: "sendButton"
                        text: "Send " + root.symbol
                        enabled: root.vm !== null && root.vm.hasReview && !root.vm.isSending
                                 && root.vm.hasPassword
                        onClicked: root.send()
                        contentItem: Row {
                            spacing: 6
                            BRSymbol {
                                anchors.verticalCenter: parent.verticalCenter
                                name: "paperplane.fill"
                                size: 13
                                color: BRPalette.accent
                            }
                            Text {
                                textFormat: Text.PlainText
                                anchors.verticalCenter: parent.verticalCenter
                                text: sendButton.text
                                font: sendButton.font
                                color: BRPalette.accent
                            }
                        }
                    }
                }
                // No server can say whether the earlier send went through: only the user's
                // choice signs this one beside it.
                BRSecondaryButton {
                    objectName: "sendAnywayButton"
                    visible: root.step === TransactionFlow.Failed && root.flow !== null
                             && root.flow.offersSendAnyway
                    Layout.alignment: Qt.AlignHCenter
                    text: "Send Anyway"
                    enabled: root.vm !== null && root.vm.hasReview && !root.vm.isSending
                             && root.vm.hasPassword
                    onClicked: root.vm.sendAnyway()
                }
            }

            // --- Progress
            ColumnLayout {
                objectName: "progressPresentation"
                visible: !root.reviewing
                Layout.fillWidth: true
                spacing: 20

                ProgressRing {
                    objectName: "progressRing"
                    Layout.alignment: Qt.AlignHCenter
                    progress: root.vm ? root.vm.broadcastProgress : 0
                }
                Text {
                    objectName: "stepTitle"
                    textFormat: Text.PlainText
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: root.step === TransactionFlow.Signing ? "Signing transaction..."
                        : root.step === TransactionFlow.Broadcasting ? "Broadcasting to network..."
                        : root.step === TransactionFlow.WaitingConfirmation ? "Waiting for confirmation..."
                        : root.step === TransactionFlow.Confirmed ? "Transaction sent!"
                        : root.step === TransactionFlow.Submitted ? "Transaction submitted"
                        : root.step === TransactionFlow.Reverted ? "Transaction failed" : ""
                    font: BRFont.body
                    color: root.step === TransactionFlow.Confirmed ? BRPalette.success
                         : root.step === TransactionFlow.Reverted ? BRPalette.error
                         : BRPalette.textPrimary
                }
                // The press followed an earlier send the chain knows: that one is shown.
                Text {
                    objectName: "earlierNote"
                    textFormat: Text.PlainText
                    visible: text.length > 0
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: root.flow ? root.flow.earlierNote : ""
                    font: BRFont.caption2
                    color: BRPalette.textSecondary
                }
                Text {
                    objectName: "stepNote"
                    textFormat: Text.PlainText
                    visible: text.length > 0
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: {
                        if (root.step === TransactionFlow.Submitted) {
                            const why = root.vm && root.vm.errorMessage.length > 0
                                        ? " (" + root.vm.errorMessage + ")" : ""
                            return "It left for the network, which has not confirmed it yet" + why
                                   + ". Look it up by its ID before sending again."
                        }
                        return root.step === TransactionFlow.Reverted && root.vm
                               ? root.vm.errorMessage : ""
                    }
                    font: BRFont.caption2
                    color: root.step === TransactionFlow.Reverted ? BRPalette.error
                                                                  : BRPalette.textSecondary
                }
                RowLayout {
                    objectName: "stepRow"
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 16
                    readonly property bool signed: root.step === TransactionFlow.Broadcasting
                                                   || broadcastDone
                    readonly property bool broadcastDone: root.step === TransactionFlow.WaitingConfirmation
                                                          || root.ended
                    readonly property color lit: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g,
                                                         BRPalette.accent.b, 0.4)
                    StepIndicator {
                        objectName: "stepSign"
                        label: "Sign"
                        symbol: "signature"
                        done: parent.signed
                        active: root.step === TransactionFlow.Signing
                    }
                    Rectangle {
                        Layout.alignment: Qt.AlignVCenter
                        Layout.bottomMargin: 20
                        implicitWidth: 24
                        implicitHeight: 1
                        color: parent.signed ? parent.lit : BRPalette.border
                    }
                    StepIndicator {
                        objectName: "stepBroadcast"
                        label: "Broadcast"
                        symbol: "antenna.radiowaves.left.and.right"
                        done: parent.broadcastDone
                        active: root.step === TransactionFlow.Broadcasting
                    }
                    Rectangle {
                        Layout.alignment: Qt.AlignVCenter
                        Layout.bottomMargin: 20
                        implicitWidth: 24
                        implicitHeight: 1
                        color: parent.broadcastDone ? parent.lit : BRPalette.border
                    }
                    StepIndicator {
                        objectName: "stepConfirm"
                        label: "Confirm"
                        symbol: "checkmark.shield"
                        done: root.step === TransactionFlow.Confirmed
                        failed: root.step === TransactionFlow.Reverted
                        active: root.step === TransactionFlow.WaitingConfirmation
                    }
                }
                ColumnLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 4
                    Text {
                        objectName: "summaryAmount"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        horizontalAlignment: Text.AlignHCenter
                        // Every digit, wrapped when it does not fit.
                        wrapMode: Text.WrapAnywhere
                        text: root.flow && root.flow.summary.length > 0
                              ? root.flow.summary
                              : (root.vm ? root.vm.reviewAmount : "")
                        font: BRFont.largeTitle
                        color: BRPalette.textPrimary
                    }
                    Text {
                        objectName: "summaryRecipient"
                        textFormat: Text.PlainText
                        Layout.alignment: Qt.AlignHCenter
                        text: root.flow && root.flow.detail.length > 0
                              ? root.flow.detail : "to " + root.shortRecipient
                        font: BRFont.caption2
                        color: BRPalette.textTertiary
                    }
                }
                ColumnLayout {
                    objectName: "txIdBlock"
                    visible: root.vm !== null && root.vm.txHash.length > 0
                    Layout.fillWidth: true
                    Layout.leftMargin: 16
                    Layout.rightMargin: 16
                    spacing: 4
                    Text {
                        textFormat: Text.PlainText
                        Layout.alignment: Qt.AlignHCenter
                        text: "TX ID"
                        font: BRFont.label
                        color: BRPalette.textTertiary
                    }
                    SelectableValue {
                        objectName: "txId"
                        Layout.fillWidth: true
                        implicitHeight: 16
                        text: root.vm ? root.vm.txHash : ""
                        font: BRFont.monoSmall
                        color: BRPalette.textSecondary
                        Accessible.name: text
                    }
                }
                BRPrimaryButton {
                    objectName: "doneButton"
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
}
