import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// A dApp asks for a session: who asks (icon, name, address), what a session allows, on which
// networks, and Reject or Approve. The oldest proposal waiting is shown; answering it shows the
// next or closes the sheet.
BRSheet {
    id: root
    objectName: "WCProposalSheet"
    readonly property var vm: WalletShell.walletConnect
    width: 420
    height: Math.max(440, content.implicitHeight)

    component Permission: RowLayout {
        property string symbol
        property string title
        Layout.fillWidth: true
        spacing: 8
        BRSymbol {
            Layout.preferredWidth: 24
            name: parent.symbol
            size: 14
            color: BRPalette.accent
        }
        Text {
            textFormat: Text.PlainText
            text: parent.title
            font: BRFont.caption
            color: BRPalette.textPrimary
        }
        Item { Layout.fillWidth: true }
        BRSymbol {
            name: "checkmark"
            size: 12
            font.weight: Font.DemiBold
            color: BRPalette.success
        }
    }
    component Divider: Rectangle {
        Layout.fillWidth: true
        implicitHeight: 0.5
        color: BRPalette.border
    }

    contentItem: ColumnLayout {
        id: content
        spacing: 24
        visible: root.vm.hasProposal

        ColumnLayout {
            Layout.fillWidth: true
            Layout.topMargin: 24
            spacing: 12
            Item {
                Layout.alignment: Qt.AlignHCenter
                implicitWidth: 56
                implicitHeight: 56
                DAppIconView {
                    objectName: "proposalIcon"
                    anchors.fill: parent
                    visible: root.vm.proposalIcon.length > 0
                    url: root.vm.proposalIcon
                    cornerRadius: 12
                }
                Rectangle {
                    objectName: "proposalGlobe"
                    anchors.fill: parent
                    visible: root.vm.proposalIcon.length === 0
                    radius: 28
                    color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.12)
                    BRSymbol {
                        anchors.centerIn: parent
                        name: "globe"
                        size: 24
                        color: BRPalette.accent
                    }
                }
            }
            Text {
                objectName: "proposalName"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                Layout.leftMargin: 24
                Layout.rightMargin: 24
                Accessible.role: Accessible.Heading
                text: root.vm.proposalName
                font: BRFont.title
                color: BRPalette.textPrimary
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideRight
            }
            Text {
                objectName: "proposalURL"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                Layout.leftMargin: 24
                Layout.rightMargin: 24
                text: root.vm.proposalURL
                font: BRFont.caption2
                color: BRPalette.textTertiary
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideMiddle
            }
        }
        Text {
            textFormat: Text.PlainText
            Layout.alignment: Qt.AlignHCenter
            text: "wants to connect"
            font: BRFont.systemFont(15, Font.Medium)
            color: BRPalette.textSecondary
        }
        BRSurface {
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            elevated: true
            padding: 16
            ColumnLayout {
                width: parent ? parent.width : 0
                spacing: 12
                Permission { symbol: "signature"; title: "Sign messages" }
                Divider {}
                Permission { symbol: "arrow.left.arrow.right"; title: "Send transactions" }
                Divider {}
                Permission { symbol: "link"; title: "View accounts" }
            }
        }
        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 4
            Text {
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                text: "Networks"
                font: BRFont.label
                color: BRPalette.textTertiary
            }
            Row {
                Layout.alignment: Qt.AlignHCenter
                spacing: 8
                Repeater {
                    model: ["Ethereum", "Arbitrum", "Polygon"]
                    delegate: Rectangle {
                        implicitWidth: chip.implicitWidth + 16
                        implicitHeight: chip.implicitHeight + 8
                        radius: height / 2
                        color: BRPalette.surface
                        border.width: 0.5
                        border.color: BRPalette.border
                        Text {
                            id: chip
                            anchors.centerIn: parent
                            textFormat: Text.PlainText
                            text: modelData
                            font: BRFont.label
                            color: BRPalette.textSecondary
                        }
                    }
                }
            }
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 24
            spacing: 12
            BRSecondaryButton {
                objectName: "proposalRejectButton"
                text: "Reject"
                onClicked: root.vm.rejectProposal()
            }
            BRPrimaryButton {
                id: approveButton
                objectName: "proposalApproveButton"
                text: "Approve"
                onClicked: root.vm.startApprovingProposal()
                contentItem: Row {
                    spacing: 6
                    BRBusyIndicator {
                        visible: root.vm.isAnsweringProposal
                        running: visible
                        width: 14
                        height: 14
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    BRSymbol {
                        visible: !root.vm.isAnsweringProposal
                        anchors.verticalCenter: parent.verticalCenter
                        name: "checkmark.circle.fill"
                        size: 13
                        color: BRPalette.accent
                    }
                    Text {
                        textFormat: Text.PlainText
                        anchors.verticalCenter: parent.verticalCenter
                        text: approveButton.text
                        font: approveButton.font
                        color: BRPalette.accent
                    }
                }
            }
        }
    }
}
