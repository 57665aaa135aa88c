import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// The first step: the emblem, the name and tagline, and the three ways in. As the way out of
// a keyring that is not running, only the two restores, into files, said plainly, and Back.
Item {
    id: root
    objectName: "welcomeStep"
    required property OnboardingViewModel vm
    readonly property bool intoFiles: vm.appState !== null && vm.appState.isRestoringIntoFiles === true

    ColumnLayout {
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: Math.min(420, parent.width)
        spacing: 24

        Item { Layout.fillHeight: true }
        Item {
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: 120
            implicitHeight: 120
            RadialGlow {
                anchors.fill: parent
                startRadius: 10
                endRadius: 60
                centreOpacity: 0.15
            }
            BRSymbol {
                id: emblem
                objectName: "welcomeEmblem"
                anchors.centerIn: parent
                name: "shield.checkered"
                size: 48
                font.weight: Font.Light
                color: BRPalette.accent
            }
            BRGlow {
                objectName: "welcomeEmblemGlow"
                anchors.fill: emblem
                source: emblem
                glowColor: BRPalette.accent
                glowOpacity: 0.3
                radius: 12
            }
        }
        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 8
            GlowText {
                Layout.alignment: Qt.AlignHCenter
                text: "Quillmark"
                pixelSize: 40
            }
            Text {
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                text: root.intoFiles ? "Restore into Files" : "Secure Multi-Chain Wallet"
                font: BRFont.body
                color: BRPalette.textSecondary
            }
        }
        Text {
            objectName: "unreadableWalletNotice"
            textFormat: Text.PlainText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Layout.fillWidth: true
            visible: root.vm.appState !== null && root.vm.appState.hasUnreadableWallet === true
            text: "A wallet's protected items were found on this computer, but its record "
                  + "cannot be read. Restoring its backup or importing its recovery phrase "
                  + "brings it back."
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            font: BRFont.caption
            color: BRPalette.warning
        }
        Text {
            objectName: "restoreIntoFilesNotice"
            textFormat: Text.PlainText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Layout.fillWidth: true
            visible: root.intoFiles
            text: "The wallet in the keyring is left untouched: nothing of it is deleted. "
                  + "Restoring your recovery phrase or a backup here makes a wallet kept in "
                  + "files on this computer, and Quillmark opens that wallet from now on."
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            font: BRFont.callout
            color: BRPalette.textSecondary
        }
        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 12
            BRPrimaryButton {
                objectName: "createNewWalletButton"
                Layout.alignment: Qt.AlignHCenter
                visible: !root.intoFiles
                text: "Create New Wallet"
                onClicked: root.vm.startCreate()
            }
            BRSecondaryButton {
                objectName: "importWalletButton"
                Layout.alignment: Qt.AlignHCenter
                text: "Import Existing Wallet"
                onClicked: root.vm.showStep(OnboardingViewModel.ImportSeed)
            }
            BRSecondaryButton {
                objectName: "restoreFromBackupButton"
                Layout.alignment: Qt.AlignHCenter
                text: "Restore from Backup"
                onClicked: root.vm.showStep(OnboardingViewModel.RestoreBackup)
            }
            BRSecondaryButton {
                objectName: "backToKeyringButton"
                Layout.alignment: Qt.AlignHCenter
                visible: root.intoFiles
                text: "Back"
                onClicked: root.vm.backToKeyring()
            }
        }
        Item { implicitHeight: 48 }
    }
}
