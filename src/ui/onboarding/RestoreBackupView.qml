import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The onboarding step that brings a wallet back from a ".qmbackup" file and opens it with
// the same password. Its file, password and error line are its own and go with it.
Item {
    id: root
    objectName: "restoreBackupView"
    required property OnboardingViewModel vm

    BackupRestoreViewModel {
        id: restore
        objectName: "restoreBackupViewModel"
        appState: WalletShell.appState
        unlocksAfterRestore: true
        onFileChanged: passwordField.focusField()
    }

    ColumnLayout {
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: Math.min(420, parent.width - 64)
        spacing: 24

        Item { Layout.fillHeight: true }
        Item {
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: 100
            implicitHeight: 100
            RadialGlow {
                anchors.fill: parent
                startRadius: 10
                endRadius: 50
                centreOpacity: 0.15
            }
            BRSymbol {
                anchors.centerIn: parent
                name: "arrow.down.doc.fill"
                size: 40
                font.weight: Font.Light
                color: BRPalette.accent
            }
        }
        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 8
            Text {
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                text: "Restore from Backup"
                font: BRFont.title
                color: BRPalette.textPrimary
            }
            Text {
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                text: "Select a .qmbackup file and enter your wallet password"
                font: BRFont.caption2
                color: BRPalette.textSecondary
            }
        }
        BackupFilePicker {
            Layout.fillWidth: true
            restore: restore
        }
        ColumnLayout {
            Layout.fillWidth: true
            visible: restore.hasFile
            spacing: 4
            Text {
                textFormat: Text.PlainText
                text: "Wallet Password"
                font: BRFont.label
                color: BRPalette.textSecondary
            }
            PasswordField {
                id: passwordField
                accessibleName: "Wallet Password"
                Layout.fillWidth: true
                entry: restore.entry
                fieldName: "restorePasswordField"
                placeholderText: "Enter your password"
                fieldFont: BRFont.mono
                fillsWidth: true
                showsErrorLine: false
                onAccepted: restore.submit()
            }
        }
        ErrorLine {
            Layout.fillWidth: true
            text: restore.errorMessage
        }
        Item { Layout.fillHeight: true }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 12
            BRPrimaryButton {
                id: restoreButton
                objectName: "restoreWalletButton"
                text: "Restore Wallet"
                enabled: restore.hasFile && restore.hasPassword && !restore.isRestoring
                onClicked: restore.submit()
                contentItem: Row {
                    spacing: 6
                    BRBusyIndicator {
                        visible: restore.isRestoring
                        running: visible
                        width: 14
                        height: 14
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    BRSymbol {
                        visible: !restore.isRestoring
                        anchors.verticalCenter: parent.verticalCenter
                        name: "arrow.counterclockwise"
                        size: 13
                        color: BRPalette.accent
                    }
                    Text {
                        textFormat: Text.PlainText
                        anchors.verticalCenter: parent.verticalCenter
                        text: restoreButton.text
                        font: restoreButton.font
                        color: BRPalette.accent
                    }
                }
            }
            BRSecondaryButton {
                objectName: "backButton"
                text: "Back"
                onClicked: root.vm.showStep(OnboardingViewModel.Welcome)
            }
        }
        Item { implicitHeight: 48 }
    }
}
