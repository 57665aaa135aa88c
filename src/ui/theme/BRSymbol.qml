import QtQuick
import Quillmark.Ui

// One symbol of the icon table, drawn in the bundled icon font, with its badge where it has
// one (a lock on a shield).
Text {
    id: root
    textFormat: Text.PlainText
    property string name: ""
    property real size: 12
    // What is behind the symbol: the colour of a badge cut out of a filled symbol.
    property color backdropColor: BRPalette.background

    text: BRIcon.glyph(name)
    font.family: BRIcon.family
    // The icon font's glyphs lie beyond the basic plane: drawn through the shaper, which the
    // text font skips (without it they stay blank on X11).
    font.preferShaping: true
    font.pixelSize: Math.round(size * 1.15)
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    color: BRPalette.textPrimary

    Text {
        objectName: "symbolBadge"
        readonly property string glyph: BRIcon.badge(root.name)
        visible: glyph.length > 0
        textFormat: Text.PlainText
        text: glyph
        font.family: BRIcon.family
        font.preferShaping: true
        font.pixelSize: Math.round(root.font.pixelSize * 0.46)
        color: BRIcon.badgeCutsOut(root.name) ? root.backdropColor : root.color
        // Centred on the shield's body, which sits a little below the glyph's middle.
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.verticalCenter: parent.verticalCenter
        anchors.verticalCenterOffset: root.font.pixelSize * 0.04
    }
}
