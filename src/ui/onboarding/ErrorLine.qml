import QtQuick
import Quillmark.Ui

// A screen's error line: the message as is, in the error colour. Without one it takes no room,
// or, with `keepsRoom`, one empty line's, so what is below it does not move when it appears.
Text {
    property bool keepsRoom: false
    textFormat: Text.PlainText
    // Read out by assistive technology (and the end-to-end test) like the screen shows it.
    Accessible.role: Accessible.StaticText
    Accessible.name: text
    visible: keepsRoom || text.length > 0
    font: BRFont.caption2
    color: BRPalette.error
    wrapMode: Text.Wrap
    horizontalAlignment: Text.AlignHCenter
}
