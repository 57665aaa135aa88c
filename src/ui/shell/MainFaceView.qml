import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The unlocked wallet's face: the sidebar beside the detail column, and the WalletConnect
// sheets over them (what a dApp asks waits while the wallet is locked). A record of sent
// transactions that the unlock could not read is said over them until dismissed.
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
    // Made only while there is something to say: nothing of it is there to read otherwise.
    Loader {
        objectName: "unreadableAttemptsNotice"
        active: WalletShell.unreadableAttemptsNotice !== ""
        sourceComponent: Item {
            UnreadableAttemptsAlert {
                message: WalletShell.unreadableAttemptsNotice
                Component.onCompleted: open()
                // Not from inside its own handler: dismissing unloads it.
                onClosed: Qt.callLater(WalletShell.dismissUnreadableAttemptsNotice)
            }
        }
    }
}
