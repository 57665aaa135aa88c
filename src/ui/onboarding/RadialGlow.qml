import QtQuick
import QtQuick.Shapes
import Quillmark.Ui

// A radial gradient centred in its bounds, from the accent colour at `centreOpacity` at
// `startRadius` to clear at `endRadius`: the backdrops' glow and the emblems' discs.
BRShape {
    id: root
    property real startRadius: 10
    property real endRadius: 50
    property real centreOpacity: 0.15
    property color colour: BRPalette.accent

    ShapePath {
        strokeWidth: -1
        strokeColor: "transparent"
        fillGradient: RadialGradient {
            centerX: root.width / 2
            centerY: root.height / 2
            centerRadius: root.endRadius
            focalX: root.width / 2
            focalY: root.height / 2
            focalRadius: root.startRadius
            GradientStop {
                position: 0
                color: Qt.rgba(root.colour.r, root.colour.g, root.colour.b, root.centreOpacity)
            }
            GradientStop { position: 1; color: "transparent" }
        }
        startX: 0
        startY: 0
        PathLine { x: root.width; y: 0 }
        PathLine { x: root.width; y: root.height }
        PathLine { x: 0; y: root.height }
        PathLine { x: 0; y: 0 }
    }
}
