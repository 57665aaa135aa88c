import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// A connected dApp's request: who asks, what kind of request on which network, what is to be
// signed (the whole text, scrollable; for a transaction every value whole, the max network fee
// of the transaction as prepared, and the call data), the password, and Reject or Sign; then a
// confirmation for a second. The oldest request waiting is shown; the next follows it.
BRSheet {
    id: root
    objectName: "WCRequestSheet"
    readonly property var vm: WalletShell.walletConnect
    width: 440
    height: Math.max(480, body.implicitHeight)

    // The method's badge: symbol, title and colour.
    readonly property var badge: {
        switch (vm.requestDisplayMethod) {
        case "personal_sign":
            return { symbol: "signature", title: "Personal Sign", color: BRPalette.accent }
        case "eth_signTypedData_v4":
        case "eth_signTypedData":
            return { symbol: "doc.text", title: "Typed Data", color: BRPalette.accent }
        case "eth_sendTransaction":
            return { symbol: "arrow.up.right", title: "Send Transaction", color: "#FF9F0A" }
        case "eth_signTransaction":
            return { symbol: "signature", title: "Sign Transaction", color: BRPalette.accent }
        }
        return { symbol: "questionmark.circle", title: vm.requestDisplayMethod,
                 color: BRPalette.textSecondary }
    }

    function focusPassword() {
        if (root.visible && !vm.signSuccess)
            passwordField.focusField()
    }
    onOpened: focusPassword()
    Connections {
        target: root.vm
        // A new request, or a failure: the emptied field takes the keys again.
        function onRequestKeyChanged() { root.focusPassword() }
    }
    Connections {
        target: root.vm.passwordEntry
        function onErrorMessageChanged() {
            if (root.vm.passwordEntry.hasError)
                root.focusPassword()
        }
    }

    // One line of the transaction's review: its label, then its value read whole.
    component ReviewRow: RowLayout {
        property alias label: rowLabel.text
        property alias value: rowValue.text
        property alias valueName: rowValue.objectName
        property alias valueColor: rowValue.color
        Layout.fillWidth: true
        spacing: 8
        Text {
            id: rowLabel
            textFormat: Text.PlainText
            Layout.preferredWidth: 104
            Layout.alignment: Qt.AlignTop
            font: BRFont.caption
            color: BRPalette.textTertiary
            wrapMode: Text.Wrap
        }
        WholeValue {
            id: rowValue
            Layout.fillWidth: true
        }
    }

    contentItem: Item {
        id: body
        implicitHeight: Math.max(request.implicitHeight, confirmation.implicitHeight) + 48

        ColumnLayout {
            id: request
            objectName: "requestState"
            visible: !root.vm.signSuccess
            anchors.fill: parent
            anchors.margins: 24
            spacing: 24

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 8
                Text {
                    objectName: "requestDappName"
                    textFormat: Text.PlainText
                    Layout.fillWidth: true
                    Accessible.role: Accessible.Heading
                    text: root.vm.requestDappName
                    font: BRFont.title
                    color: BRPalette.textPrimary
                    horizontalAlignment: Text.AlignHCenter
                    elide: Text.ElideRight
                }
                Rectangle {
                    objectName: "methodBadge"
                    readonly property color tint: root.badge.color
                    Layout.alignment: Qt.AlignHCenter
                    implicitWidth: badgeRow.implicitWidth + 16
                    implicitHeight: badgeRow.implicitHeight + 6
                    radius: height / 2
                    color: Qt.rgba(tint.r, tint.g, tint.b, 0.1)
                    border.width: 0.5
                    border.color: Qt.rgba(tint.r, tint.g, tint.b, 0.3)
                    Row {
                        id: badgeRow
                        anchors.centerIn: parent
                        spacing: 4
                        BRSymbol {
                            name: root.badge.symbol
                            size: 11
                            color: parent.parent.tint
                            anchors.verticalCenter: parent.verticalCenter
                        }
                        Text {
                            objectName: "methodBadgeTitle"
                            textFormat: Text.PlainText
                            text: root.badge.title
                            font: BRFont.label
                            color: parent.parent.tint
                            anchors.verticalCenter: parent.verticalCenter
                        }
                    }
                }
                Text {
                    objectName: "requestChain"
                    textFormat: Text.PlainText
                    Layout.alignment: Qt.AlignHCenter
                    text: "on " + root.vm.requestChainName
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
            }

            ColumnLayout {
                id: transactionReview
                objectName: "transactionReview"
                readonly property var tx: root.vm.transaction
                readonly property string call: tx.call || ""
                visible: root.vm.isTransaction
                Layout.fillWidth: true
                spacing: 6
                ReviewRow {
                    label: transactionReview.call !== "" ? "Token contract" : "To"
                    value: transactionReview.tx.to || ""
                    valueName: "transactionTo"
                }
                ReviewRow {
                    visible: transactionReview.call !== ""
                    label: transactionReview.call === "approve" ? "Allows spending" : "Sends"
                    value: transactionReview.tx.callAmount || ""
                    valueName: "transactionCallAmount"
                }
                ReviewRow {
                    visible: transactionReview.call !== ""
                    label: transactionReview.call === "approve" ? "Spender" : "Recipient"
                    value: transactionReview.tx.callParty || ""
                    valueName: "transactionCallParty"
                }
                // An earlier transaction that may still go through: this one replaces it.
                Text {
                    objectName: "replacementNote"
                    textFormat: Text.PlainText
                    visible: text !== ""
                    Layout.fillWidth: true
                    text: root.vm.replacementNote
                    font: BRFont.caption2
                    color: BRPalette.warning
                    wrapMode: Text.Wrap
                }
                Text {
                    objectName: "transactionCallNote"
                    textFormat: Text.PlainText
                    visible: text !== ""
                    Layout.fillWidth: true
                    text: transactionReview.tx.callNote || ""
                    font: BRFont.caption2
                    color: BRPalette.textSecondary
                    wrapMode: Text.Wrap
                }
                ReviewRow {
                    label: "Value"
                    value: transactionReview.tx.value || ""
                    valueName: "transactionValue"
                }
                ReviewRow {
                    label: "Max network fee"
                    value: transactionReview.tx.prepared ? transactionReview.tx.maxFee
                         : transactionReview.tx.preparing ? "Preparing…"
                         : (transactionReview.tx.preparationError || "")
                    valueName: "transactionMaxFee"
                    valueColor: transactionReview.tx.prepared || transactionReview.tx.preparing
                                ? BRPalette.textPrimary : BRPalette.error
                }
                ReviewRow {
                    visible: transactionReview.tx.prepared === true
                    label: "Max total"
                    value: transactionReview.tx.total || ""
                    valueName: "transactionTotal"
                }
                ReviewRow {
                    visible: !transactionReview.tx.data
                    label: "Data"
                    value: "None"
                    valueName: "transactionNoData"
                }
                Text {
                    visible: !!transactionReview.tx.data
                    textFormat: Text.PlainText
                    text: "Data (" + (transactionReview.tx.dataBytes || 0) + " bytes)"
                    font: BRFont.caption
                    color: BRPalette.textTertiary
                }
                Rectangle {
                    visible: !!transactionReview.tx.data
                    Layout.fillWidth: true
                    Layout.preferredHeight: Math.min(96, callData.implicitHeight + 12)
                    radius: 6
                    color: BRPalette.surface
                    border.width: 0.5
                    border.color: BRPalette.border
                    Flickable {
                        id: callDataView
                        objectName: "transactionDataView"
                        anchors.fill: parent
                        anchors.margins: 1
                        clip: true
                        contentWidth: width
                        contentHeight: callData.implicitHeight + 12
                        boundsBehavior: Flickable.StopAtBounds
                        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
                        WholeValue {
                            id: callData
                            objectName: "transactionData"
                            x: 6
                            y: 6
                            width: callDataView.width - 12
                            text: transactionReview.tx.data || ""
                            color: BRPalette.textSecondary
                        }
                    }
                }
            }

            ColumnLayout {
                visible: !root.vm.isTransaction
                Layout.fillWidth: true
                spacing: 4
                Text {
                    textFormat: Text.PlainText
                    Layout.alignment: Qt.AlignHCenter
                    text: "Request Details"
                    font: BRFont.label
                    color: BRPalette.textTertiary
                }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: Math.min(180, details.implicitHeight + 16)
                    radius: 6
                    color: BRPalette.surface
                    border.width: 0.5
                    border.color: BRPalette.border
                    Flickable {
                        id: detailsView
                        objectName: "requestDetails"
                        anchors.fill: parent
                        anchors.margins: 1
                        clip: true
                        contentWidth: width
                        contentHeight: details.implicitHeight + 16
                        boundsBehavior: Flickable.StopAtBounds
                        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
                        Text {
                            id: details
                            objectName: "requestMessage"
                            textFormat: Text.PlainText
                            x: 8
                            y: 8
                            width: detailsView.width - 16
                            text: root.vm.requestDisplayMessage
                            font: BRFont.mono
                            color: BRPalette.textSecondary
                            wrapMode: Text.WrapAnywhere
                        }
                    }
                }
            }

            // Centred as a whole: nothing in it widens (a layout grows only as far as its items).
            ColumnLayout {
                Layout.alignment: Qt.AlignHCenter
                Layout.maximumWidth: 280
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
                    Layout.fillWidth: true
                    entry: root.vm.passwordEntry
                    fieldName: "signPasswordField"
                    errorName: "signError"
                    spacing: 4
                    // Return signs even with an empty field (the failure then says why), never
                    // twice.
                    onAccepted: if (!root.vm.isSigning) root.vm.startSigning()
                }
            }

            Item { Layout.fillHeight: true }

            ColumnLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 8
                RowLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 12
                    BRSecondaryButton {
                        objectName: "requestRejectButton"
                        text: "Reject"
                        // A request being signed is not rejected: its answer is on its way.
                        enabled: !root.vm.isSigning
                        onClicked: root.vm.rejectRequest()
                    }
                    BRPrimaryButton {
                        id: signButton
                        objectName: "requestSignButton"
                        text: "Sign"
                        enabled: root.vm.canSign
                        onClicked: root.vm.startSigning()
                        contentItem: Row {
                            spacing: 6
                            BRBusyIndicator {
                                objectName: "signSpinner"
                                visible: root.vm.isSigning
                                running: visible
                                width: 14
                                height: 14
                                anchors.verticalCenter: parent.verticalCenter
                            }
                            BRSymbol {
                                anchors.verticalCenter: parent.verticalCenter
                                name: "signature"
                                size: 13
                                color: BRPalette.accent
                            }
                            Text {
                                textFormat: Text.PlainText
                                anchors.verticalCenter: parent.verticalCenter
                                text: signButton.text
                                font: signButton.font
                                color: BRPalette.accent
                            }
                        }
                    }
                }
                // No server can say whether the earlier transaction went through: only the
                // user's choice signs this one beside it.
                BRSecondaryButton {
                    objectName: "requestAnywayButton"
                    visible: root.vm.offersSendAnyway
                    Layout.alignment: Qt.AlignHCenter
                    text: "Send Anyway"
                    enabled: root.vm.canSign
                    onClicked: root.vm.sendAnyway()
                }
                Text {
                    objectName: "requestsWaiting"
                    textFormat: Text.PlainText
                    Layout.alignment: Qt.AlignHCenter
                    visible: root.vm.requestsWaiting > 0
                    text: root.vm.requestsWaiting === 1 ? "1 more request waiting"
                                                        : root.vm.requestsWaiting + " more requests waiting"
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
            }
        }

        ColumnLayout {
            id: confirmation
            objectName: "confirmationState"
            visible: root.vm.signSuccess
            anchors.fill: parent
            anchors.margins: 24
            spacing: 24
            Item { Layout.fillHeight: true }
            Rectangle {
                Layout.alignment: Qt.AlignHCenter
                implicitWidth: 80
                implicitHeight: 80
                radius: 40
                color: Qt.rgba(BRPalette.success.r, BRPalette.success.g, BRPalette.success.b, 0.12)
                BRSymbol {
                    anchors.centerIn: parent
                    name: "checkmark.circle.fill"
                    size: 40
                    color: BRPalette.success
                }
            }
            Text {
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                Accessible.role: Accessible.Heading
                text: "Signed Successfully"
                font: BRFont.title
                color: BRPalette.textPrimary
            }
            Text {
                objectName: "confirmationText"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                text: "Response sent to " + root.vm.requestDappName
                font: BRFont.caption
                color: BRPalette.textSecondary
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideRight
            }
            // The answer was an earlier transaction the chain knew: that one is named.
            Text {
                objectName: "signedNote"
                textFormat: Text.PlainText
                visible: text.length > 0
                Layout.fillWidth: true
                text: root.vm.signedNote
                font: BRFont.caption
                color: BRPalette.textSecondary
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
            }
            Item { Layout.fillHeight: true }
        }
    }
}
