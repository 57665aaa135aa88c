import QtQuick
import Quillmark.Ui

// Glowing text: the content with three glows of `glowColor` stacked behind it, none offset:
// opacity 0.1 at half the radius, 0.05 at the radius, 0.025 at two and a half times it. The
// content (one item) draws itself in BRPalette.textPrimary; the glows take its shape whenever
// a property of it changes.
Item {
    id: root
    property color glowColor: BRPalette.accent
    property real radius: 8
    default property alias content: holder.data
    readonly property Item text: holder.children.length > 0 ? holder.children[0] : null

    implicitWidth: holder.childrenRect.width
    implicitHeight: holder.childrenRect.height

    BRGlow {
        anchors.fill: holder
        source: root.text
        glowColor: root.glowColor
        glowOpacity: 0.025
        radius: root.radius * 2.5
    }
    BRGlow {
        anchors.fill: holder
        source: root.text
        glowColor: root.glowColor
        glowOpacity: 0.05
        radius: root.radius
    }
    BRGlow {
        anchors.fill: holder
        source: root.text
        glowColor: root.glowColor
        glowOpacity: 0.1
        radius: root.radius * 0.5
    }
    Item {
        id: holder
        anchors.fill: parent
    }
}
