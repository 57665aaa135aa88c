import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The unlocked wallet's face: the sidebar beside the detail column, and the WalletConnect
// sheets over them (what a dApp asks waits while the wallet is locked).
Item {
    SplitView {
        anchors.fill: parent
        orientation: Qt.Horizontal
        handle: Rectangle {
            implicitWidth: 1
            color: BRPalette.border
        }
        SidebarView {
            objectName: "sidebar"
            SplitView.minimumWidth: 260
            // Wide enough for a balance with its token count beside the account's name.
            SplitView.preferredWidth: 340
            SplitView.maximumWidth: 420
        }
        DetailColumn {
            SplitView.fillWidth: true
            SplitView.minimumWidth: 480
        }
    }
    WalletConnectSheets {}
}
