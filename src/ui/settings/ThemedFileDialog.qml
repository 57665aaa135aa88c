import QtQuick
import QtQuick.Dialogs
import Quillmark.Ui

// Qt Quick's own file dialog (the program loads no desktop theme, so no native one) in the
// window's colours. `show()` opens it in `folder` and is false when it cannot open (a missing
// Qt module): the caller then says so instead of waiting for an answer.
FileDialog {
    id: dialog

    // Qt builds this dialog from Qt.labs.folderlistmodel; without it `open()` fails, and a
    // second dialog's `open()` then crashes inside Qt, so it is not called at all.
    function canOpen() {
        try {
            Qt.createQmlObject("import Qt.labs.folderlistmodel; FolderListModel {}", dialog).destroy()
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
        FileDialogTheme.apply(dialog, {
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
        })
        return true
    }
}
