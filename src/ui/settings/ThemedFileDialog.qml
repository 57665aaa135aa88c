import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Dialogs.quickimpl as DialogsImpl
import QtQuick.Layouts
import Quillmark.Ui

// Qt Quick's own file dialog (the program loads no desktop theme, so no native one) in the
// window's colours, with names drawn as plain text, backup files listed first ("All Files"
// second: any file may be chosen). `show()` opens it in `folder` and is false when it cannot
// open (a missing Qt module): the caller then says so instead of waiting for an answer. A save
// dialog keeps its name through folder changes and adds `defaultSuffix` to a name without one;
// Open takes the highlighted row (FileDialogChoice).
FileDialog {
    id: fileDialog

    // The shown dialog, once opened: what each row of its list answers to.
    property QtObject shown: null
    // Why Save cannot save the name typed (shown under the buttons); empty when it can.
    property string notice: ""

    nameFilters: ["Quillmark backups (*.qmbackup)", "All Files (*)"]

    // Qt builds this dialog from Qt.labs.folderlistmodel; without it `open()` fails, and a
    // second dialog's `open()` then crashes inside Qt, so it is not called at all.
    function canOpen() {
        try {
            Qt.createQmlObject("import Qt.labs.folderlistmodel; FolderListModel {}", fileDialog).destroy()
            return true
        } catch (error) {
            console.warn("The file dialog cannot open:", error.message)
            return false
        }
    }

    function show(folder) {
        if (!canOpen())
            return false
        currentFolder = folder
        open()
        if (!visible)
            return false
        const window = parentWindow
        shown = FileDialogSetup.apply(fileDialog, {
            window: BRPalette.backgroundSecondary,
            windowText: BRPalette.textPrimary,
            base: BRPalette.background,
            alternateBase: BRPalette.surface,
            text: BRPalette.textPrimary,
            placeholderText: BRPalette.textTertiary,
            button: BRPalette.surface,
            buttonText: BRPalette.textPrimary,
            brightText: BRPalette.textPrimary,
            light: BRPalette.backgroundSecondary,
            midlight: BRPalette.surface,
            mid: BRPalette.border,
            dark: BRPalette.border,
            shadow: BRPalette.shadow,
            highlight: BRPalette.accent,
            highlightedText: BRPalette.textPrimary,
            toolTipBase: BRPalette.surface,
            toolTipText: BRPalette.textPrimary
        }, fileRow, noticeLine,
           Math.min(760, window ? window.width - 60 : 760),
           Math.min(540, window ? window.height - 60 : 540))
        return true
    }

    Component {
        id: noticeLine
        Text {
            objectName: "fileDialogNotice"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            visible: text.length > 0
            textFormat: Text.PlainText
            text: fileDialog.notice
            font: BRFont.caption2
            color: BRPalette.error
            wrapMode: Text.Wrap
        }
    }

    // A row of the file list: the name as it is, never as markup.
    Component {
        id: fileRow
        DialogsImpl.FileDialogDelegate {
            id: row
            // The dialog reads the row's index itself.
            required property int index
            required property string fileName
            required property url fileUrl
            required property int fileSize
            required property date fileModified
            required property bool fileIsDir

            objectName: "fileRow_" + fileName
            FocusRing { outset: 0 }
            // What assistive technology names the row (the label below draws it).
            text: fileName
            width: ListView.view ? ListView.view.width : 0
            highlighted: ListView.isCurrentItem
            dialog: fileDialog.shown
            file: fileUrl
            // Before the dialog selects it on the click: a selection the user made.
            onPressed: FileDialogSetup.pick(fileDialog.shown, fileUrl)
            leftPadding: 12
            rightPadding: 12
            implicitHeight: 34
            contentItem: RowLayout {
                spacing: 8
                BRSymbol {
                    name: row.fileIsDir ? "folder.fill" : "doc.fill"
                    size: 13
                    color: row.fileIsDir ? BRPalette.accent : BRPalette.textSecondary
                }
                Text {
                    objectName: "fileRowName"
                    Layout.fillWidth: true
                    textFormat: Text.PlainText
                    text: row.fileName
                    font: BRFont.body
                    color: BRPalette.textPrimary
                    elide: Text.ElideMiddle
                }
                Text {
                    textFormat: Text.PlainText
                    visible: !row.fileIsDir
                    text: Qt.locale().formattedDataSize(row.fileSize)
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
                Text {
                    Layout.preferredWidth: 120
                    textFormat: Text.PlainText
                    horizontalAlignment: Text.AlignRight
                    text: Qt.formatDateTime(row.fileModified)
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
            }
            background: Rectangle {
                visible: row.down || row.highlighted || row.hovered
                color: row.highlighted ? Qt.rgba(BRPalette.accent.r, BRPalette.accent.g,
                                                 BRPalette.accent.b, 0.18)
                                       : BRPalette.surface
                radius: 6
            }
        }
    }
}
