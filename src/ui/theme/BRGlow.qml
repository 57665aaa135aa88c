import QtQuick
import Qt5Compat.GraphicalEffects

// A shadow without offset around its source: the glows of buttons, dots and texts.
DropShadow {
    property color glowColor: "transparent"
    property real glowOpacity: 0
    horizontalOffset: 0
    verticalOffset: 0
    radius: 8
    samples: Math.min(33, Math.ceil(radius) * 2 + 1)
    transparentBorder: true
    color: Qt.rgba(glowColor.r, glowColor.g, glowColor.b, glowColor.a * glowOpacity)
}
