import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Quillmark.Ui

// "Backup File": the chosen file's name (or "No file selected") and "Browse...", which opens
// the open dialog; any file may be chosen, the restore decides whether it is a backup.
ColumnLayout {
    id: root
    required property BackupRestoreViewModel restore

    spacing: 4
    Text {
        textFormat: Text.PlainText
        text: "Backup File"
        font: BRFont.label
        color: BRPalette.textSecondary
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: row.implicitHeight + 16
        radius: 6
        color: BRPalette.surface
        border.width: 0.5
        border.color: BRPalette.border
        RowLayout {
            id: row
            anchors.fill: parent
            anchors.margins: 8
            spacing: 8
            BRSymbol {
                visible: root.restore.hasFile
                name: "doc.fill"
                size: 13
                color: BRPalette.accent
            }
            Text {
                textFormat: Text.PlainText
                objectName: "chosenFileName"
                Layout.fillWidth: true
                text: root.restore.hasFile ? root.restore.fileName : "No file selected"
                font: root.restore.hasFile ? BRFont.mono : BRFont.caption2
                color: root.restore.hasFile ? BRPalette.textPrimary : BRPalette.textTertiary
                elide: Text.ElideMiddle
                maximumLineCount: 1
            }
            BRSecondaryButton {
                objectName: "browseButton"
                text: "Browse..."
                onClicked: {
                    if (!openDialog.show(root.restore.defaultFolderUrl))
                        root.restore.reportDialogUnavailable()
                }
            }
        }
    }
    ThemedFileDialog {
        id: openDialog
        objectName: "openBackupDialog"
        title: "Select Wallet Backup"
        fileMode: FileDialog.OpenFile
        onAccepted: root.restore.selectFile(selectedFile)
    }
}
