import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The Network tab: a Bitcoin Electrum server of the user's own (memory only, until the
// program quits), reconnect buttons, the endpoints of the JSON-RPC pools (Ethereum, Arbitrum,
// Polygon, Solana) with the one in use marked, and the connection status of every chain. Everything
// shown is the network manager's, so attempts made elsewhere show here at once.
ColumnLayout {
    id: root
    objectName: "networkSettingsView"
    property alias model: network
    spacing: 24

    NetworkSettingsViewModel {
        id: network
        objectName: "networkSettingsViewModel"
        appState: WalletShell.appState
    }
    Component.onCompleted: network.loadCurrentServer()

    // Electrum
    ColumnLayout {
        objectName: "electrumSection"
        Layout.fillWidth: true
        Layout.topMargin: 16
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        spacing: 12

        SectionTitle {
            symbol: "bitcoinsign"
            text: "Bitcoin (Electrum)"
            color: BRPalette.bitcoin
        }
        BRSurface {
            Layout.fillWidth: true
            elevated: true
            padding: 16
            ColumnLayout {
                width: parent.width
                spacing: 8
                SettingsFieldRow {
                    Layout.fillWidth: true
                    label: "Server"
                    text: network.electrumHost
                    showsError: network.hostError.length > 0
                    onEdited: (text) => network.electrumHost = text
                }
                SettingsFieldRow {
                    Layout.fillWidth: true
                    label: "Port"
                    text: network.electrumPort
                    showsError: network.portError.length > 0
                    onEdited: (text) => network.electrumPort = text
                }
                RowLayout {
                    Layout.fillWidth: true
                    Text {
                        textFormat: Text.PlainText
                        text: "Use TLS"
                        font: BRFont.callout
                        color: BRPalette.textSecondary
                    }
                    Item { Layout.fillWidth: true }
                    Switch {
                        id: tlsSwitch
                        objectName: "tlsSwitch"
                        FocusRing { controlRadius: height / 2 }
                        Accessible.name: "Use TLS"
                        checked: network.electrumTLS
                        onToggled: network.electrumTLS = checked
                        // Off, an outlined track and knob in the secondary text colour: the
                        // surface colour alone hardly stands out from the sheet in either theme.
                        indicator: Rectangle {
                            objectName: "tlsSwitchTrack"
                            implicitWidth: 32
                            implicitHeight: 18
                            x: tlsSwitch.leftPadding
                            y: parent.height / 2 - height / 2
                            radius: 9
                            color: tlsSwitch.checked ? BRPalette.accent : BRPalette.surface
                            border.width: 1
                            border.color: tlsSwitch.checked ? BRPalette.accent : BRPalette.textSecondary
                            Rectangle {
                                objectName: "tlsSwitchKnob"
                                x: tlsSwitch.checked ? parent.width - width - 2 : 2
                                anchors.verticalCenter: parent.verticalCenter
                                width: 14
                                height: 14
                                radius: 7
                                color: tlsSwitch.checked ? "white" : BRPalette.textSecondary
                                Behavior on x { NumberAnimation { duration: 120 } }
                            }
                        }
                    }
                }
            }
        }
        Text {
            textFormat: Text.PlainText
            objectName: "electrumFormError"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Layout.fillWidth: true
            visible: text.length > 0
            text: [network.hostError, network.portError].filter(t => t.length > 0).join("\n")
            font: BRFont.caption2
            color: BRPalette.error
            wrapMode: Text.Wrap
        }
        RowLayout {
            spacing: 8
            BRSecondaryButton {
                objectName: "applyElectrumButton"
                text: "Apply"
                onClicked: network.applyElectrumServer()
            }
            BRSecondaryButton {
                objectName: "reconnectElectrumButton"
                text: "Reconnect"
                // Named by its server: each section has a button of this text.
                Accessible.name: "Reconnect Electrum"
                onClicked: network.reconnectElectrum()
            }
        }
    }

    // Ethereum, Arbitrum, Polygon, Solana
    Repeater {
        model: network.rpcPools
        delegate: ColumnLayout {
            id: section
            objectName: "rpcSection_" + modelData.name
            readonly property color chainColor: BRPalette.chainColor(modelData.chain)
            Layout.fillWidth: true
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            spacing: 8

            SectionTitle {
                symbol: BRIcon.chainSymbol(modelData.chain)
                text: modelData.name + " (JSON-RPC)"
                color: section.chainColor
            }
            ColumnLayout {
                spacing: 4
                Repeater {
                    model: modelData.endpoints
                    delegate: RowLayout {
                        objectName: "endpoint_" + modelData.text
                        readonly property bool active: modelData.active
                        spacing: 6
                        Rectangle {
                            implicitWidth: 6
                            implicitHeight: 6
                            radius: 3
                            color: modelData.active ? section.chainColor : BRPalette.border
                        }
                        Text {
                            textFormat: Text.PlainText
                            text: modelData.text
                            font: BRFont.monoSmall
                            color: modelData.active ? BRPalette.textPrimary : BRPalette.textTertiary
                        }
                    }
                }
            }
            BRSecondaryButton {
                objectName: "reconnectButton_" + modelData.name
                text: "Reconnect"
                Accessible.name: "Reconnect " + modelData.name + " RPC"
                onClicked: network.reconnectRPC(modelData.chain)
            }
        }
    }

    // Connection status
    BRSurface {
        objectName: "statusSection"
        Layout.fillWidth: true
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        elevated: false
        padding: 16
        ColumnLayout {
            width: parent.width
            spacing: 8
            Text {
                textFormat: Text.PlainText
                text: "Connection Status"
                font: BRFont.body
                color: BRPalette.textPrimary
            }
            GridLayout {
                Layout.fillWidth: true
                columns: 2
                rowSpacing: 8
                StatusCell {
                    name: "Bitcoin"
                    connected: network.electrumConnected
                    status: network.electrumStatus
                }
                Repeater {
                    model: network.rpcPools
                    delegate: StatusCell {
                        name: modelData.name
                        connected: modelData.connected
                        status: modelData.status
                    }
                }
            }
        }
    }

    // The bottom padding (the last section's own margin is lost in the scroll area's height).
    Item { implicitHeight: 1 }

    component SectionTitle: Row {
        property string symbol: ""
        property alias text: label.text
        property color color: BRPalette.textPrimary
        spacing: 6
        BRSymbol {
            objectName: "sectionSymbol"
            anchors.verticalCenter: parent.verticalCenter
            name: parent.symbol
            size: 15
            color: parent.color
        }
        Text {
            textFormat: Text.PlainText
            id: label
            anchors.verticalCenter: parent.verticalCenter
            font: BRFont.body
            color: parent.color
        }
    }

    component StatusCell: ColumnLayout {
        id: cell
        property string name: ""
        property bool connected: false
        property string status: ""
        objectName: "statusCell_" + name
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 4
        RowLayout {
            spacing: 6
            Item {
                implicitWidth: 8
                implicitHeight: 8
                BRGlow {
                    anchors.fill: dot
                    source: dot
                    visible: cell.connected
                    glowColor: BRPalette.success
                    glowOpacity: 0.4
                    radius: 4
                }
                Rectangle {
                    id: dot
                    objectName: "statusDot"
                    anchors.fill: parent
                    radius: 4
                    color: cell.connected ? BRPalette.success : BRPalette.error
                }
            }
            Text {
                textFormat: Text.PlainText
                text: cell.name
                font: BRFont.label
                color: BRPalette.textSecondary
            }
        }
        Text {
            textFormat: Text.PlainText
            objectName: "statusText"
            Layout.fillWidth: true
            text: cell.status
            font: BRFont.caption2
            color: BRPalette.textTertiary
            maximumLineCount: 1
            elide: Text.ElideRight
        }
    }
}
