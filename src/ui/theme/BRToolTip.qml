import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// A hover help in the theme's colours. Its text is plain: tool tips show server statuses and
// host names, which must never be read as markup (the style's own tool tip reads rich text).
ToolTip {
    id: control
    delay: 500
    padding: 6
    contentItem: Text {
        textFormat: Text.PlainText
        text: control.text
        font: BRFont.caption
        color: BRPalette.textPrimary
        wrapMode: Text.Wrap
    }
    background: Rectangle {
        color: BRPalette.backgroundSecondary
        border.width: 1
        border.color: BRPalette.border
        radius: 5
    }
}
