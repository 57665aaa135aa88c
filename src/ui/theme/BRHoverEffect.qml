import QtQuick
import Quillmark.Ui

// Hover lift around its content: grows to hoverScale and glows faintly in glowColor.
Item {
    id: root
    property real hoverScale: 1.02
    property color glowColor: BRPalette.accent
    readonly property bool isHovering: hover.hovered
    default property alias content: holder.data

    implicitWidth: holder.childrenRect.width
    implicitHeight: holder.childrenRect.height
    scale: isHovering ? hoverScale : 1
    Behavior on scale { NumberAnimation { duration: 140; easing.type: Easing.OutQuad } }

    HoverHandler { id: hover }
    BRGlow {
        anchors.fill: holder
        source: holder
        visible: root.isHovering
        glowColor: root.glowColor
        glowOpacity: 0.06
        radius: 10
    }
    Item {
        id: holder
        anchors.fill: parent
    }
}
