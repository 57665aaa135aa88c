import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// Shown instead of onboarding when no wallet was found but the keyring, locked or silent, may
// hold one: a new wallet here would stand beside the old one. "Try Again" probes the keyring
// and loads again.
Item {
    id: root
    objectName: "keyringLockedView"

    Rectangle { anchors.fill: parent; color: BRPalette.background }

    ColumnLayout {
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: Math.min(420, parent.width - 48)
        spacing: 24

        Item { Layout.fillHeight: true }
        BRSymbol {
            Layout.alignment: Qt.AlignHCenter
            name: "lock.shield.fill"
            size: 44
            font.weight: Font.Light
            color: BRPalette.accent
        }
        Text {
            objectName: "keyringLockedText"
            Layout.fillWidth: true
            text: "The wallet may be in your keyring, which is locked or not answering. Unlock the keyring, then try again."
            textFormat: Text.PlainText
            font: BRFont.callout
            color: BRPalette.textSecondary
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
        }
        BRPrimaryButton {
            objectName: "keyringTryAgainButton"
            Layout.alignment: Qt.AlignHCenter
            text: "Try Again"
            onClicked: WalletShell.retryLockedKeyring()
        }
        Item { Layout.fillHeight: true }
    }
}
