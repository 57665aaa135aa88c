import QtQuick
import QtQuick.Shapes
import Quillmark.Ui

// A round metallic disc with a glowing symbol: halo, shaded body, inner tint, rim, highlight
// arc and the symbol, all for the diameter `size`.
Item {
    id: root
    property string systemName: ""
    property color color: BRPalette.accent
    property var gradient: null // kept with the icon; the drawing uses `color` only
    property real size: 40

    implicitWidth: size
    implicitHeight: size

    function tint(opacity) { return Qt.rgba(color.r, color.g, color.b, opacity) }

    Rectangle { // halo
        anchors.centerIn: parent
        width: root.size + 10
        height: width
        radius: width / 2
        color: root.tint(0.06)
    }
    BRShape { // body, inner tint, rim and highlight arc
        anchors.fill: parent
        // Drawn once into an image: the software scene graph clips images to a scrolled list,
        // not a shape drawn straight into the window.
        layer.enabled: true
        layer.smooth: true
        ShapePath {
            strokeWidth: 0
            strokeColor: "transparent"
            fillGradient: RadialGradient {
                centerX: root.size * 0.4; centerY: root.size * 0.35
                focalX: centerX; focalY: centerY
                centerRadius: root.size / 1.6
                GradientStop { position: 0; color: BRPalette.surface }
                GradientStop { position: 0.5; color: BRPalette.backgroundSecondary }
                GradientStop { position: 1; color: BRPalette.background }
            }
            PathAngleArc {
                centerX: root.size / 2; centerY: root.size / 2
                radiusX: root.size / 2; radiusY: root.size / 2
                startAngle: 0; sweepAngle: 360
            }
        }
        ShapePath {
            strokeWidth: 0
            strokeColor: "transparent"
            fillGradient: RadialGradient {
                centerX: root.size / 2; centerY: root.size / 2
                focalX: centerX; focalY: centerY
                centerRadius: root.size / 2.5
                GradientStop { position: 0; color: root.tint(0.06) }
                GradientStop { position: 1; color: "transparent" }
            }
            PathAngleArc {
                centerX: root.size / 2; centerY: root.size / 2
                radiusX: root.size / 2; radiusY: root.size / 2
                startAngle: 0; sweepAngle: 360
            }
        }
        ShapePath {
            strokeWidth: 1
            strokeColor: root.tint(0.3)
            fillColor: "transparent"
            PathAngleArc {
                centerX: root.size / 2; centerY: root.size / 2
                radiusX: root.size / 2 - 0.5; radiusY: root.size / 2 - 0.5
                startAngle: 0; sweepAngle: 360
            }
        }
        ShapePath {
            strokeWidth: 0.5
            strokeColor: Qt.rgba(1, 1, 1, 0.06)
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            PathAngleArc {
                centerX: root.size / 2; centerY: root.size / 2
                radiusX: root.size / 2 - 1; radiusY: root.size / 2 - 1
                startAngle: 198; sweepAngle: 144
            }
        }
    }
    BRGlow {
        anchors.fill: symbol
        source: symbol
        glowColor: root.color
        glowOpacity: 0.35
        radius: 5
    }
    BRSymbol {
        id: symbol
        anchors.centerIn: parent
        name: root.systemName
        size: root.size * 0.38
        color: root.color
        font.weight: Font.DemiBold
    }
}
