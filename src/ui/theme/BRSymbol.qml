import QtQuick
import Quillmark.Ui

// One symbol of the icon table, drawn in the bundled icon font, with its badge where it has
// one (a lock on a shield). The font has no circle of dots: its plain circle is cut into dots
// here, as the lock is cut out of the filled shield.
Text {
    id: root
    textFormat: Text.PlainText
    property string name: ""
    property real size: 12
    // What is behind the symbol: the colour of a badge cut out of a filled symbol, and of the
    // gaps between the dots.
    property color backdropColor: BRPalette.background

    // A glyph of the icon font, not words: a screen reader reads what it stands for from the
    // control that holds it.
    Accessible.ignored: true
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

    // Twelve gaps across the plain circle's line (radius 9 of the glyph's 24 units, 2 thick,
    // its centre a little above the line's middle), leaving twelve dots between them.
    Repeater {
        model: root.name === "circle.dotted" ? 12 : 0
        Rectangle {
            objectName: "symbolDotGap"
            required property int index
            readonly property real ring: root.font.pixelSize * 9 / 24
            readonly property real angle: 2 * Math.PI * (index + 0.5) / 12
            width: ring * 2 * Math.PI / 12 * 0.5
            height: root.font.pixelSize * 4 / 24
            antialiasing: true
            rotation: angle * 180 / Math.PI + 90
            color: root.backdropColor
            x: root.width / 2 + ring * Math.cos(angle) - width / 2
            y: root.height / 2 - root.font.pixelSize * 0.035 + ring * Math.sin(angle) - height / 2
        }
    }
}
