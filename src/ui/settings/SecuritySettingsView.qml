import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The Security tab: where the secrets are stored, the recovery phrase (behind a warning) and
// the encrypted backup export, and "Delete Wallet" behind a confirmation.
ColumnLayout {
    id: root
    objectName: "securitySettingsView"
    spacing: 24

    SecuritySettingsViewModel {
        id: security
        objectName: "securitySettingsViewModel"
        appState: WalletShell.appState
    }

    // Storage: where the wallet's secrets are really kept (no biometric unlock exists here;
    // unlocking and signing always take the password).
    ColumnLayout {
        Layout.fillWidth: true
        Layout.topMargin: 16
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        spacing: 12
        Text {
            textFormat: Text.PlainText
            text: "Storage"
            font: BRFont.body
            color: BRPalette.textPrimary
        }
        BRSurface {
            objectName: "secretStorageCard"
            Layout.fillWidth: true
            elevated: true
            padding: 16
            RowLayout {
                width: parent.width
                spacing: 12
                BRSymbol {
                    name: "externaldrive.fill"
                    size: 17
                    color: BRPalette.accent
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Text {
                        textFormat: Text.PlainText
                        text: "Secure Storage"
                        font: BRFont.callout
                        color: BRPalette.textPrimary
                    }
                    Text {
                        objectName: "secretStorageText"
                        Layout.fillWidth: true
                        text: WalletShell.secretStorage
                        textFormat: Text.PlainText
                        font: BRFont.caption2
                        color: BRPalette.textTertiary
                        wrapMode: Text.WrapAnywhere
                    }
                }
            }
        }
    }

    // Backup
    ColumnLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        spacing: 12
        Text {
            textFormat: Text.PlainText
            text: "Backup"
            font: BRFont.body
            color: BRPalette.textPrimary
        }
        BRSecondaryButton {
            objectName: "showRecoveryPhraseButton"
            text: "Show Recovery Phrase"
            onClicked: backupAlert.open()
        }
        BRSecondaryButton {
            id: exportButton
            objectName: "exportEncryptedBackupButton"
            text: "Export Encrypted Backup"
            contentItem: Row {
                spacing: 6
                BRSymbol {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "square.and.arrow.up.fill"
                    size: 13
                    color: BRPalette.textPrimary
                }
                Text {
                    textFormat: Text.PlainText
                    anchors.verticalCenter: parent.verticalCenter
                    text: exportButton.text
                    font: exportButton.font
                    color: BRPalette.textPrimary
                }
            }
            onClicked: exportSheet.open()
        }
    }

    // Danger Zone
    ColumnLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        spacing: 12
        Text {
            textFormat: Text.PlainText
            text: "Danger Zone"
            font: BRFont.body
            color: BRPalette.error
        }
        BRSecondaryButton {
            id: deleteButton
            objectName: "deleteWalletButton"
            text: "Delete Wallet"
            enabled: !security.isDeleting
            contentItem: Text {
                textFormat: Text.PlainText
                text: deleteButton.text
                font: deleteButton.font
                color: BRPalette.error
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            onClicked: deleteAlert.open()
        }
        ErrorLine {
            objectName: "deleteWalletError"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignLeft
            text: security.errorMessage
        }
    }

    // The bottom padding (the last section's own margin is lost in the scroll area's height).
    Item { implicitHeight: 1 }

    ConfirmAlert {
        id: backupAlert
        objectName: "securityWarningAlert"
        title: "Security Warning"
        message: "Make sure no one is watching your screen. Your recovery phrase gives full access to your funds."
        confirmText: "Show"
        // "Show" goes on to the recovery-phrase sheet, which asks for the password.
        onConfirmed: seedRevealSheet.open()
    }
    ConfirmAlert {
        id: deleteAlert
        objectName: "deleteWalletAlert"
        title: "Delete Wallet?"
        message: "This will permanently delete your wallet from this device. Make sure you have your recovery phrase backed up."
        confirmText: "Delete"
        onConfirmed: security.deleteWallet()
    }
    BackupExportSheet { id: exportSheet }
    SeedRevealSheet { id: seedRevealSheet }
}
