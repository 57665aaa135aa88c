import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The sale's confirmation: the order (every figure exact, the sale contract's whole address)
// with the max network fee of its prepared transactions, the wallet password and the confirm
// button; then, from the first step of the buy or sale on, its progress until it is in a block
// ("Done") or was handed to the network without an answer. A failure brings the review back
// with its text under the field. Opened while the view model's showConfirmation is set;
// "Cancel" clears it, "Done" resets the model and asks the sale sheet to close (done()).
BRSheet {
    id: root
    objectName: "novrSwapConfirmSheet"
    required property NOVRSwapViewModel vm
    readonly property bool buying: vm.direction === NOVRSwapViewModel.Buy
    readonly property color violet: Qt.rgba(153 / 255, 69 / 255, 1, 1)
    readonly property color lightViolet: Qt.rgba(192 / 255, 132 / 255, 252 / 255, 1)
    readonly property color deepViolet: Qt.rgba(91 / 255, 33 / 255, 182 / 255, 1)
    readonly property string maxFeeText: vm.hasReview ? vm.reviewMaxFee
                                       : vm.isPreparing ? "..." : "\u2014"
    signal done()

    width: 460
    height: Math.max(480, content.implicitHeight + 48)
    // While it runs the progress face offers no way out; Escape is the review face's Cancel.
    closePolicy: vm.showsProgress ? Popup.NoAutoClose : Popup.CloseOnEscape
    visible: vm.showConfirmation
    onClosed: vm.showConfirmation = false
    onOpened: if (!vm.showsProgress) passwordField.focusField()

    contentItem: Item {
        ColumnLayout {
            id: content
            anchors.fill: parent
            anchors.margins: 24
            spacing: 24

            // Review face.
            ColumnLayout {
                objectName: "reviewFace"
                visible: !root.vm.showsProgress
                Layout.fillWidth: true
                spacing: 24
                onVisibleChanged: if (visible) passwordField.focusField()

                Rectangle {
                    Layout.alignment: Qt.AlignHCenter
                    implicitWidth: 64
                    implicitHeight: 64
                    radius: 32
                    color: Qt.rgba(root.violet.r, root.violet.g, root.violet.b, 0.12)
                    BRSymbol {
                        anchors.centerIn: parent
                        name: "arrow.triangle.swap"
                        size: 24
                        font.weight: Font.DemiBold
                        color: root.lightViolet
                    }
                }
                Text {
                    objectName: "confirmTitle"
                    Layout.alignment: Qt.AlignHCenter
                    textFormat: Text.PlainText
                    Accessible.role: Accessible.Heading
                    text: "Confirm " + (root.buying ? "Buy" : "Sell")
                    font: BRFont.systemFont(22, Font.Medium)
                    color: BRPalette.textPrimary
                }
                Rectangle {
                    objectName: "summaryCard"
                    Layout.fillWidth: true
                    implicitHeight: summary.implicitHeight + 24
                    radius: 6
                    color: BRPalette.surface
                    ColumnLayout {
                        id: summary
                        anchors.fill: parent
                        anchors.margins: 12
                        spacing: 12
                        // Every figure exact and whole: what is signed is what is read.
                        Repeater {
                            model: root.vm.reviewRows
                            delegate: ColumnLayout {
                                required property var modelData
                                required property int index
                                Layout.fillWidth: true
                                spacing: 12
                                Rectangle {
                                    visible: index > 0
                                    Layout.fillWidth: true
                                    implicitHeight: 1
                                    color: BRPalette.border
                                }
                                NOVRSummaryRow {
                                    objectName: "summaryRow_" + modelData[0]
                                    label: modelData[0]
                                    value: modelData[1]
                                }
                            }
                        }
                        // The most the prepared transactions (an approval first, when one is
                        // needed) may pay the network: what is signed.
                        Rectangle {
                            Layout.fillWidth: true
                            implicitHeight: 1
                            color: BRPalette.border
                        }
                        NOVRSummaryRow {
                            objectName: "summaryRow_Max network fee"
                            label: "Max network fee"
                            value: root.maxFeeText
                        }
                        // The contract the buy or sale calls (and any approval names), whole:
                        // two addresses that differ in the middle must not look the same.
                        Rectangle {
                            Layout.fillWidth: true
                            implicitHeight: 1
                            color: BRPalette.border
                        }
                        ColumnLayout {
                            objectName: "summaryRow_Contract"
                            Layout.fillWidth: true
                            spacing: 4
                            Text {
                                textFormat: Text.PlainText
                                text: "Sale contract"
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
                // An approval first: the buy's or sale's own gas is a bound until then.
                Text {
                    objectName: "feeNote"
                    visible: root.vm.reviewIncludesApproval
                    Layout.fillWidth: true
                    wrapMode: Text.Wrap
                    textFormat: Text.PlainText
                    text: "Includes the approval of " + (root.buying ? "USDC" : "NOVR")
                          + ". The " + (root.buying ? "buy" : "sale") + "'s gas is estimated "
                          + "once the approval is in a block; should it need more, the new fee "
                          + "is shown before it is signed."
                    font: BRFont.systemFont(11, Font.Normal)
                    color: BRPalette.textSecondary
                }
                // Why the figures shown now could not be prepared again.
                Text {
                    objectName: "prepareError"
                    visible: text.length > 0
                    Layout.fillWidth: true
                    wrapMode: Text.Wrap
                    textFormat: Text.PlainText
                    text: root.vm.prepareError
                    font: BRFont.systemFont(11, Font.Normal)
                    color: BRPalette.error
                }
                PasswordField {
                    id: passwordField
                    Layout.fillWidth: true
                    spacing: 4
                    entry: root.vm.entry
                    fieldName: "salePasswordField"
                    errorName: "saleError"
                    placeholderText: "Wallet password"
                    fillsWidth: true
                    errorAlignment: Text.AlignLeft
                    // Return confirms without the button's test; an empty password fails with
                    // the wallet's own text.
                    onAccepted: root.vm.executeSwap()
                }
                RowLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 12
                    BRSecondaryButton {
                        objectName: "cancelConfirmButton"
                        text: "Cancel"
                        onClicked: root.vm.showConfirmation = false
                    }
                    BRPrimaryButton {
                        objectName: "confirmSaleButton"
                        text: root.buying ? "Buy NOVR" : "Sell NOVR"
                        // Only the prepared buy or sale of the figures shown is signed.
                        enabled: !root.vm.isSending && root.vm.hasPassword && root.vm.hasReview
                        onClicked: root.vm.executeSwap()
                    }
                }
                // No server can say whether the earlier transaction went through: only the
                // user's choice signs this one beside it.
                BRSecondaryButton {
                    objectName: "saleAnywayButton"
                    visible: root.vm.offersSendAnyway
                    Layout.alignment: Qt.AlignHCenter
                    text: "Send Anyway"
                    enabled: !root.vm.isSending && root.vm.hasPassword && root.vm.hasReview
                    onClicked: root.vm.sendAnyway()
                }
            }

            // Progress face.
            ColumnLayout {
                objectName: "progressFace"
                visible: root.vm.showsProgress
                Layout.fillWidth: true
                Layout.fillHeight: true
                spacing: 24

                Item { Layout.fillHeight: true }
                BRProgressRing {
                    objectName: "progressRing"
                    Layout.alignment: Qt.AlignHCenter
                    progress: root.vm.broadcastProgress
                    tint: root.violet
                    deepTint: root.deepViolet
                }
                Text {
                    objectName: "stepTitle"
                    Layout.fillWidth: true
                    textFormat: Text.PlainText
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: root.vm.stepTitle
                    font: BRFont.systemFont(15, Font.Medium)
                    color: root.vm.isComplete ? BRPalette.success : BRPalette.textPrimary
                }
                RowLayout {
                    objectName: "stageIndicator"
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 16
                    Repeater {
                        model: [["Approve", "checkmark.shield"], ["Sign", "signature"],
                                ["Broadcast", "antenna.radiowaves.left.and.right"],
                                ["Done", "checkmark.circle"]]
                        delegate: RowLayout {
                            required property var modelData
                            required property int index
                            spacing: 16
                            Rectangle {
                                objectName: "connector_" + index
                                visible: index > 0
                                // Level with the discs' centres, not with the labels.
                                Layout.alignment: Qt.AlignTop
                                Layout.topMargin: 17
                                implicitWidth: 24
                                implicitHeight: 1
                                readonly property bool reached: index > 0 && root.vm.connectors[index - 1]
                                color: reached ? Qt.rgba(root.violet.r, root.violet.g, root.violet.b, 0.4)
                                               : BRPalette.border
                            }
                            BRStepIndicator {
                                objectName: "stage_" + index
                                label: modelData[0]
                                symbol: modelData[1]
                                done: root.vm.stages[index] === 2
                                active: root.vm.stages[index] === 1
                                tint: root.violet
                                checkTint: root.lightViolet
                            }
                        }
                    }
                }
                ColumnLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 4
                    Text {
                        objectName: "orderLine"
                        Layout.alignment: Qt.AlignHCenter
                        Layout.maximumWidth: 412
                        horizontalAlignment: Text.AlignHCenter
                        textFormat: Text.PlainText
                        text: root.vm.orderLine
                        font: BRFont.systemFont(28, Font.Medium)
                        // Smaller to fit, and past the smallest size onto more lines: every
                        // digit stays.
                        fontSizeMode: Text.HorizontalFit
                        minimumPixelSize: 12
                        wrapMode: Text.WrapAnywhere
                        color: BRPalette.textPrimary
                    }
                    Text {
                        Layout.alignment: Qt.AlignHCenter
                        textFormat: Text.PlainText
                        text: "on Arbitrum"
                        font: BRFont.systemFont(11, Font.Normal)
                        color: BRPalette.textTertiary
                    }
                    // The press followed an earlier order the chain knows: that one is shown.
                    Text {
                        objectName: "earlierNote"
                        visible: text.length > 0
                        Layout.alignment: Qt.AlignHCenter
                        Layout.maximumWidth: 412
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        textFormat: Text.PlainText
                        text: root.vm.earlierNote
                        font: BRFont.systemFont(11, Font.Normal)
                        color: BRPalette.textSecondary
                    }
                }
                ColumnLayout {
                    objectName: "txBlock"
                    visible: root.vm.txHash.length > 0
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
                        objectName: "txHash"
                        Layout.fillWidth: true
                        text: root.vm.txHash
                        font: BRFont.monospacedFont(11, Font.Normal)
                        color: BRPalette.textSecondary
                    }
                }
                BRPrimaryButton {
                    objectName: "doneButton"
                    visible: root.vm.isFinished
                    Layout.alignment: Qt.AlignHCenter
                    text: "Done"
                    onClicked: {
                        root.vm.reset()
                        root.done()
                    }
                }
                Item { Layout.fillHeight: true }
            }
        }
    }
}
