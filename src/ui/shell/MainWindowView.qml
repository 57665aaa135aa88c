import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The window's root: the onboarding flow while there is no wallet, the lock screen while it
// is locked, else the sidebar beside the detail column; while the program's first look at
// what is stored waits for the keyring, a short "opening" face.
Item {
    id: root
    // "opening", "keyring", "onboarding", "lock" or "main": the face shown now.
    readonly property string face: WalletShell.isOpening ? "opening"
                                 : WalletShell.isKeyringLocked ? "keyring"
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
        sourceComponent: root.face === "opening" ? opening
                       : root.face === "keyring" ? keyringLocked
                       : root.face === "onboarding" ? onboarding
                       : root.face === "lock" ? lockScreen : mainView
    }

    Component {
        id: opening
        // Blank at first: a keyring that answers at once ends this before anyone reads it.
        Item {
            objectName: "openingView"
            Column {
                anchors.centerIn: parent
                spacing: 12
                visible: false
                Timer {
                    interval: 300
                    running: true
                    onTriggered: parent.visible = true
                }
                BRBusyIndicator {
                    anchors.horizontalCenter: parent.horizontalCenter
                    running: parent.visible
                    width: 20
                    height: 20
                }
                Text {
                    objectName: "openingText"
                    Accessible.name: text
                    text: "Opening the keyring\u2026"
                    textFormat: Text.PlainText
                    font: BRFont.callout
                    color: BRPalette.textSecondary
                }
            }
        }
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
