import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Quillmark.Ui

// "Export Backup": the stored wallet sealed under its password into one file, saved where
// the user chooses. Each opening starts afresh; closing drops (and wipes) what was typed.
BRSheet {
    id: root
    objectName: "BackupExportSheet"
    width: 420
    // Its own height, or taller while the form needs more (an error line of two lines), so
    // the button never leaves the sheet; at most the window's.
    height: Math.min(Math.max(360, contentItem.implicitHeight),
                     parent ? parent.height - 32 : 360)

    contentItem: Loader {
        active: root.visible
        sourceComponent: Component {
            Item {
                implicitHeight: exportForm.implicitHeight + 48
                BackupExportViewModel {
                    id: backup
                    objectName: "backupExportViewModel"
                    appState: WalletShell.appState
                    // Each time from the suggested place, so a broken earlier answer is
                    // not offered again; a dialog that cannot be shown says so.
                    onSaveLocationNeeded: {
                        saveDialog.selectedFile = backup.defaultFileUrl
                        if (!saveDialog.show(backup.defaultFolderUrl))
                            backup.reportDialogUnavailable()
                    }
                }

                ColumnLayout {
                    id: exportForm
                    anchors.fill: parent
                    anchors.margins: 24
                    spacing: 24
                    visible: !backup.exportSuccess

                    SheetHeader {
                        Layout.fillWidth: true
                        title: "Export Backup"
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
                                name: "lock.shield.fill"
                                size: 20
                                color: BRPalette.accent
                                backdropColor: BRPalette.surface
                            }
                            ColumnLayout {
                                Layout.fillWidth: true
                                spacing: 2
                                Text {
                                    textFormat: Text.PlainText
                                    text: "Encrypted backup"
                                    font: BRFont.label
                                    color: BRPalette.textPrimary
                                }
                                Text {
                                    textFormat: Text.PlainText
                                    Layout.fillWidth: true
                                    text: "Your wallet data will be encrypted with your password and saved to a single file."
                                    font: BRFont.caption2
                                    color: BRPalette.textSecondary
                                    wrapMode: Text.Wrap
                                }
                            }
                        }
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4
                        Text {
                            textFormat: Text.PlainText
                            text: "Wallet Password"
                            font: BRFont.label
                            color: BRPalette.textSecondary
                        }
                        PasswordField {
                            accessibleName: "Wallet Password"
                            Layout.fillWidth: true
                            entry: backup.entry
                            fieldName: "exportPasswordField"
                            placeholderText: "Enter your password"
                            fieldFont: BRFont.mono
                            fillsWidth: true
                            showsErrorLine: false
                            onAccepted: backup.submit()
                            Component.onCompleted: focusField()
                        }
                    }
                    ErrorLine {
                        Layout.fillWidth: true
                        horizontalAlignment: Text.AlignLeft
                        text: backup.errorMessage
                    }
                    BRPrimaryButton {
                        id: exportButton
                        objectName: "exportBackupButton"
                        Layout.alignment: Qt.AlignHCenter
                        text: "Export Backup"
                        enabled: backup.hasPassword && !backup.isExporting
                        onClicked: backup.submit()
                        contentItem: Row {
                            spacing: 6
                            BRBusyIndicator {
                                visible: backup.isExporting
                                running: visible
                                width: 14
                                height: 14
                                anchors.verticalCenter: parent.verticalCenter
                            }
                            BRSymbol {
                                visible: !backup.isExporting
                                anchors.verticalCenter: parent.verticalCenter
                                name: "square.and.arrow.up.fill"
                                size: 13
                                color: BRPalette.accent
                            }
                            Text {
                                textFormat: Text.PlainText
                                anchors.verticalCenter: parent.verticalCenter
                                text: exportButton.text
                                font: exportButton.font
                                color: BRPalette.accent
                            }
                        }
                    }
                }

                ColumnLayout {
                    anchors.fill: parent
                    anchors.margins: 24
                    spacing: 24
                    visible: backup.exportSuccess

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
                        text: "Backup Saved"
                        font: BRFont.title
                        color: BRPalette.textPrimary
                    }
                    Text {
                        textFormat: Text.PlainText
                        objectName: "savedFileName"
                        Layout.fillWidth: true
                        visible: backup.savedPath.length > 0
                        text: backup.savedPath
                        font: BRFont.caption2
                        color: BRPalette.textSecondary
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.WrapAnywhere
                        maximumLineCount: 2
                        elide: Text.ElideRight
                    }
                    Text {
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        text: "Keep this file safe. You'll need your wallet password to restore it."
                        font: BRFont.caption2
                        color: BRPalette.textTertiary
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

                ThemedFileDialog {
                    id: saveDialog
                    objectName: "saveBackupDialog"
                    title: "Save Wallet Backup"
                    fileMode: FileDialog.SaveFile
                    defaultSuffix: "qmbackup"
                    acceptLabel: "Save"
                    onAccepted: backup.saveTo(selectedFile, currentFolder)
                    onRejected: backup.saveTo("")
                }
            }
        }
    }
}
