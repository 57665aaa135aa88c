import QtQuick
import Quillmark.Ui

// A value the user must be able to read whole before signing (a recipient, a contract, an
// amount): every character shown, wrapped anywhere when it does not fit, selectable, never
// elided. Set its width; its height follows the lines it needs.
TextEdit {
    id: root

    textFormat: TextEdit.PlainText
    readOnly: true
    selectByMouse: true
    activeFocusOnPress: true
    wrapMode: TextEdit.WrapAnywhere
    font: BRFont.monoSmall
    color: BRPalette.textPrimary
    selectionColor: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.3)
    selectedTextColor: color
    Accessible.role: Accessible.StaticText
    Accessible.name: text
    onActiveFocusChanged: if (!activeFocus) deselect()
}
