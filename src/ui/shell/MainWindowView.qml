import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The window's root: the onboarding flow while there is no wallet, the lock screen while it
// is locked, else the sidebar beside the detail column.
Item {
    id: root
    // "keyring", "onboarding", "lock" or "main": the face shown now.
    readonly property string face: WalletShell.isKeyringLocked ? "keyring"
                                 : WalletShell.isOnboarding ? "onboarding"
                                 : WalletShell.isLocked ? "lock" : "main"

    // Builds the face anew (a reopened window starts its flows from the first step).
    function rebuild() {
        faceLoader.active = false
        faceLoader.active = true
    }

    implicitWidth: 900
    implicitHeight: 620
    Rectangle { anchors.fill: parent; color: BRPalette.background }

    Loader {
        id: faceLoader
        objectName: "faceLoader"
        anchors.fill: parent
        sourceComponent: root.face === "keyring" ? keyringLocked
                       : root.face === "onboarding" ? onboarding
                       : root.face === "lock" ? lockScreen : mainView
    }

    Component { id: keyringLocked; KeyringLockedView {} }
    Component { id: onboarding; OnboardingView {} }
    Component { id: lockScreen; LockScreen {} }
    Component {
        id: mainView
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
        // Over the main view only: what a dApp asks waits while the wallet is locked.
        WalletConnectSheets {}
        }
    }
}
