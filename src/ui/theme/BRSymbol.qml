import QtQuick
import Quillmark.Ui

// One symbol of the icon table, drawn in the bundled icon font.
Text {
    textFormat: Text.PlainText
    property string name: ""
    property real size: 12

    text: BRIcon.glyph(name)
    font.family: BRIcon.family
    font.pixelSize: Math.round(size * 1.15)
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    color: BRPalette.textPrimary
}
