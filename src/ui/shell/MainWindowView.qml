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

    // Each face from its file, loaded when it is shown: the first frame loads the types of the
    // face it shows, not those of every screen behind the others.
    Loader {
        id: faceLoader
        objectName: "faceLoader"
        anchors.fill: parent
        source: root.face === "opening" ? "OpeningView.qml"
              : root.face === "keyring" ? "../onboarding/KeyringLockedView.qml"
              : root.face === "onboarding" ? "../onboarding/OnboardingView.qml"
              : root.face === "lock" ? "../onboarding/LockScreen.qml" : "MainFaceView.qml"
    }
}
