import QtQuick
import Quillmark.Ui

// A screen's error line: the message as is, in the error colour. Without one it takes no room,
// or, with `keepsRoom`, one empty line's, so what is below it does not move when it appears.
Text {
    property bool keepsRoom: false
    textFormat: Text.PlainText
    visible: keepsRoom || text.length > 0
    font: BRFont.caption2
    color: BRPalette.error
    wrapMode: Text.Wrap
    horizontalAlignment: Text.AlignHCenter
}
