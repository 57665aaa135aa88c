import QtQuick
import Quillmark.Ui

// Beside a button that copies the recovery phrase: while the phrase is on the clipboard, when
// it leaves it. Without one it takes no room.
Text {
    objectName: "clipboardNote"
    Accessible.role: Accessible.StaticText
    Accessible.name: text
    visible: SecretClipboard.holdsSecret
    textFormat: Text.PlainText
    text: "The clipboard is cleared after 60 seconds, or when you lock or quit."
    font: BRFont.caption2
    color: BRPalette.textTertiary
    horizontalAlignment: Text.AlignHCenter
    wrapMode: Text.Wrap
}
