import QtQuick
import Quillmark.Ui

// A screen's error line: the message as is, in the error colour; it takes no room without one.
Text {
    textFormat: Text.PlainText
    visible: text.length > 0
    font: BRFont.caption2
    color: BRPalette.error
    wrapMode: Text.Wrap
    horizontalAlignment: Text.AlignHCenter
}
