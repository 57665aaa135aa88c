import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// One connection dot with its short label; the glow is wide while connected.
Row {
    id: root
    property color color: BRPalette.error
    property int glowRadius: 2
    property string label: ""
    property string tooltip: ""

    spacing: 4
    Item {
        width: 6
        height: 6
        anchors.verticalCenter: parent.verticalCenter
        BRGlow {
            anchors.fill: dot
            source: dot
            glowColor: root.color
            glowOpacity: 0.4
            radius: root.glowRadius
        }
        Rectangle {
            id: dot
            objectName: "dotCircle"
            anchors.fill: parent
            radius: 3
            color: root.color
        }
    }
    Text {
        textFormat: Text.PlainText
        text: root.label
        font: BRFont.caption2
        color: BRPalette.textTertiary
        anchors.verticalCenter: parent.verticalCenter
    }
    HoverHandler { id: hover }
    BRToolTip {
        visible: hover.hovered && root.tooltip.length > 0
        text: root.tooltip
    }
}
