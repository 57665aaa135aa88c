import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// "Restore Backup": replaces the stored wallet with the one in a backup file, then locks so
// the lock screen asks for its password. Each opening starts afresh; closing wipes it.
BRSheet {
    id: root
    objectName: "BackupRestoreSheet"
    width: 420
    // Its own height, or taller while the form needs more (an error line of two lines), so
    // the button never leaves the sheet; at most the window's.
    height: Math.min(Math.max(400, contentItem.implicitHeight),
                     parent ? parent.height - 32 : 400)

    contentItem: Loader {
        active: root.visible
        sourceComponent: Component {
            Item {
                implicitHeight: restoreForm.implicitHeight + 48
                BackupRestoreViewModel {
                    id: restore
                    objectName: "backupRestoreViewModel"
                    appState: WalletShell.appState
                    unlocksAfterRestore: false
                    onFileChanged: passwordField.focusField()
                }

                ColumnLayout {
                    id: restoreForm
                    anchors.fill: parent
                    anchors.margins: 24
                    spacing: 24
                    visible: !restore.restoreSuccess

                    SheetHeader {
                        Layout.fillWidth: true
                        title: "Restore Backup"
                        onCloseRequested: root.close()
                    }
                    BRSurface {
                        Layout.fillWidth: true
                        elevated: true
                        padding: 16
                        RowLayout {
                            width: parent.width
                            spacing: 8
                            BRSymbol {
                                name: "exclamationmark.triangle.fill"
                                size: 16
                                color: BRPalette.warning
                            }
                            Text {
                                textFormat: Text.PlainText
                                Layout.fillWidth: true
                                text: "This will replace your current wallet data."
                                font: BRFont.caption2
                                color: BRPalette.textSecondary
                                wrapMode: Text.Wrap
                            }
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
                            text: "Backup Password"
                            font: BRFont.label
                            color: BRPalette.textSecondary
                        }
                        PasswordField {
                            id: passwordField
                            accessibleName: "Backup Password"
                            Layout.fillWidth: true
                            entry: restore.entry
                            fieldName: "restoreSheetPasswordField"
                            placeholderText: "Enter your password"
                            fieldFont: BRFont.mono
                            fillsWidth: true
                            showsErrorLine: false
                            onAccepted: restore.submit()
                        }
                    }
                    ErrorLine {
                        Layout.fillWidth: true
                        horizontalAlignment: Text.AlignLeft
                        text: restore.errorMessage
                    }
                    BRPrimaryButton {
                        id: restoreButton
                        objectName: "restoreWalletButton"
                        Layout.alignment: Qt.AlignHCenter
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
                }

                ColumnLayout {
                    anchors.fill: parent
                    anchors.margins: 24
                    spacing: 24
                    visible: restore.restoreSuccess

                    Item { Layout.fillHeight: true }
                    BRSymbol {
                        Layout.alignment: Qt.AlignHCenter
                        name: "checkmark.circle.fill"
                        size: 48
                        color: BRPalette.success
                    }
                    Text {
                        textFormat: Text.PlainText
                        Layout.alignment: Qt.AlignHCenter
                        Accessible.role: Accessible.Heading
                        text: "Wallet Restored"
                        font: BRFont.title
                        color: BRPalette.textPrimary
                    }
                    Text {
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        text: "Your wallet has been restored. Please unlock with your password."
                        font: BRFont.caption2
                        color: BRPalette.textSecondary
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                    }
                    Item { Layout.fillHeight: true }
                    BRPrimaryButton {
                        objectName: "doneButton"
                        Layout.alignment: Qt.AlignHCenter
                        text: "Done"
                        onClicked: root.close()
                    }
                }
            }
        }
    }
}
