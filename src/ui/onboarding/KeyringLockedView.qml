import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// Shown instead of onboarding when no wallet was found but the keyring, locked or silent, may
// hold one, or the keyring the wallet is kept in is not running: a new wallet here would
// stand beside the old one. "Unlock Keyring" opens the keyring's own unlock prompt, then
// reads again; "Try Again" probes and reads again (a keyring unlocked elsewhere, or started).
// A keyring that is not running may never run here again (another desktop): the wallet can
// then be restored from its phrase or a backup into files, the keyring's left as it is.
Item {
    id: root
    objectName: "keyringLockedView"

    KeyringUnlockViewModel {
        id: keyring
        objectName: "keyringUnlockViewModel"
        appState: WalletShell.appState
    }

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
            Accessible.name: text
            text: WalletShell.isKeyringAbsent
                  ? "Your wallet is kept in the desktop keyring, which is not running. Start the keyring, then try again."
                  : "The wallet may be in your keyring, which is locked or not answering. Unlock the keyring, then try again."
            textFormat: Text.PlainText
            font: BRFont.callout
            color: BRPalette.textSecondary
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
        }
        ErrorLine {
            objectName: "keyringErrorLine"
            Layout.fillWidth: true
            keepsRoom: true
            text: keyring.errorMessage
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 12
            BRPrimaryButton {
                id: unlockButton
                objectName: "unlockKeyringButton"
                // Nothing to unlock without a keyring running.
                visible: !WalletShell.isKeyringAbsent
                text: "Unlock Keyring"
                enabled: !keyring.isUnlocking
                onClicked: keyring.unlock()
                contentItem: Row {
                    spacing: 6
                    BRBusyIndicator {
                        visible: keyring.isUnlocking
                        running: visible
                        width: 14
                        height: 14
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    BRSymbol {
                        visible: !keyring.isUnlocking
                        anchors.verticalCenter: parent.verticalCenter
                        name: "lock.open.fill"
                        size: 13
                        color: BRPalette.accent
                    }
                    Text {
                        textFormat: Text.PlainText
                        anchors.verticalCenter: parent.verticalCenter
                        text: unlockButton.text
                        font: unlockButton.font
                        color: BRPalette.accent
                    }
                }
            }
            BRSecondaryButton {
                objectName: "keyringTryAgainButton"
                text: "Try Again"
                enabled: !keyring.isUnlocking
                onClicked: keyring.tryAgain()
            }
        }
        ColumnLayout {
            objectName: "restoreIntoFilesOffer"
            visible: WalletShell.isKeyringAbsent
            Layout.fillWidth: true
            Layout.topMargin: 24
            spacing: 12
            Text {
                objectName: "restoreIntoFilesText"
                Layout.fillWidth: true
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                text: "No keyring on this desktop any more? Restore the wallet from its recovery "
                      + "phrase or a backup into files instead; the wallet in the keyring is left "
                      + "untouched."
                textFormat: Text.PlainText
                font: BRFont.caption
                color: BRPalette.textSecondary
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
            }
            BRSecondaryButton {
                objectName: "restoreIntoFilesButton"
                Layout.alignment: Qt.AlignHCenter
                text: "Restore into Files..."
                enabled: !keyring.isUnlocking
                onClicked: keyring.restoreIntoFiles()
            }
        }
        Item { Layout.fillHeight: true }
    }
}
