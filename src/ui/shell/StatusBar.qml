import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// Above the detail column: refresh, the connection dots of the chains and of the
// WalletConnect relay, pairing and lock.
Rectangle {
    id: root
    readonly property var model: WalletShell.statusBar

    implicitHeight: row.implicitHeight + 16
    color: Qt.rgba(BRPalette.background.r, BRPalette.background.g, BRPalette.background.b, 0.8)

    component Separator: Rectangle {
        Layout.preferredWidth: 1
        Layout.preferredHeight: 16
        color: BRPalette.border
    }

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        anchors.topMargin: 8
        anchors.bottomMargin: 8
        spacing: 12

        Item { Layout.fillWidth: true }
        Item {
            Layout.preferredWidth: 18
            Layout.preferredHeight: 18
            StatusBarButton {
                id: refreshButton
                objectName: "refreshButton"
                anchors.fill: parent
                visible: !root.model.isRefreshing
                enabled: !root.model.isRefreshing
                symbol: "arrow.clockwise"
                help: root.model.refreshHelpText
                onClicked: root.model.refresh()
            }
            BRBusyIndicator {
                objectName: "refreshSpinner"
                anchors.centerIn: parent
                width: 14
                height: 14
                visible: root.model.isRefreshing
                running: visible
                HoverHandler { id: spinnerHover }
                BRToolTip {
                    visible: spinnerHover.hovered
                    text: root.model.refreshHelpText
                }
            }
        }
        // Keeps the refresh help's "N s ago" current while the window shows it: it is also the
        // button's name for assistive technology, read at any time.
        Timer {
            interval: 1000
            repeat: true
            triggeredOnStart: true
            running: root.visible && root.Window.window !== null && root.Window.window.visible
            onTriggered: root.model.updateRefreshHelpText()
        }
        Separator {}
        // By count: the dots stay as the connections change, and only what changed is drawn
        // again (a new list would make every dot and its glow anew).
        Repeater {
            objectName: "chainDots"
            model: root.model.chainDots.length
            delegate: StatusDot {
                required property int index
                readonly property var dot: root.model.chainDots[index]
                objectName: "chainDot_" + index
                color: dot.color
                glowRadius: dot.glowRadius
                label: dot.label
                tooltip: dot.tooltip
            }
        }
        Separator {}
        StatusDot {
            objectName: "relayDot"
            color: root.model.relayDot.color
            glowRadius: root.model.relayDot.glowRadius
            label: root.model.relayDot.label
            tooltip: root.model.relayDot.tooltip
        }
        StatusBarButton {
            objectName: "connectButton"
            symbol: "link.badge.plus"
            symbolColor: BRPalette.accent
            help: "Connect dApp via WalletConnect"
            onClicked: WalletShell.walletConnect.showPairSheet = true
        }
        Separator {}
        StatusBarButton {
            objectName: "lockButton"
            symbol: "lock.fill"
            help: "Lock wallet"
            onClicked: root.model.lock()
        }
    }
}
