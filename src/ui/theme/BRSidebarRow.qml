import QtQuick
import Quillmark.Ui

// The background of a sidebar row: nothing at rest; when selected, an accent wash, a glowing
// accent bar at the leading edge and a faint accent outline.
Item {
    id: root
    property bool isSelected: false

    Rectangle {
        anchors.fill: parent
        radius: 6
        visible: root.isSelected
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.12) }
            GradientStop { position: 1; color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.03) }
        }
        border.width: 0.5
        border.color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.08)
    }
    BRGlow {
        anchors.fill: bar
        source: bar
        visible: root.isSelected
        glowColor: BRPalette.accent
        glowOpacity: 0.4
        radius: 6
    }
    Rectangle {
        id: bar
        visible: root.isSelected
        x: 0
        y: 4
        width: 2.5
        height: parent.height - 8
        radius: 1.5
        color: BRPalette.accent
    }
}
