import QtQuick
import QtQuick.Shapes
import Quillmark.Ui

// A token's round badge from its symbol alone: a dark disc, a thin ring and the first two
// characters of the symbol, tinted with a hue derived from the symbol.
Item {
    id: root
    property string symbol: ""
    property real size: 36
    readonly property color tint: Qt.hsva(TokenDisc.hue(symbol), 0.5, 0.75, 1)
    readonly property string initials: TokenDisc.initials(symbol)

    function tinted(opacity) { return Qt.rgba(tint.r, tint.g, tint.b, opacity) }

    implicitWidth: size
    implicitHeight: size

    BRShape {
        anchors.fill: parent
        // Drawn into an image, which the software scene graph clips to a scrolled list (a
        // shape drawn straight into the window it does not).
        layer.enabled: true
        layer.smooth: true
        ShapePath {
            strokeWidth: 0
            strokeColor: "transparent"
            fillGradient: RadialGradient {
                centerX: root.size * 0.4
                centerY: root.size * 0.35
                centerRadius: root.size / 1.8
                focalX: centerX
                focalY: centerY
                GradientStop { position: 0; color: Qt.rgba(22 / 255, 36 / 255, 24 / 255, 1) }
                GradientStop { position: 1; color: Qt.rgba(13 / 255, 26 / 255, 15 / 255, 1) }
            }
            PathAngleArc {
                centerX: root.size / 2
                centerY: root.size / 2
                radiusX: root.size / 2
                radiusY: root.size / 2
                startAngle: 0
                sweepAngle: 360
            }
        }
        ShapePath {
            // The ring: a 0.8-point band filled with an angular gradient, brightest at -60
            // degrees and faintest opposite.
            strokeWidth: 0
            strokeColor: "transparent"
            fillRule: ShapePath.OddEvenFill
            fillGradient: ConicalGradient {
                centerX: root.size / 2
                centerY: root.size / 2
                angle: 60 // counter-clockwise from three o'clock: the -60 degrees of the ring
                GradientStop { position: 0; color: root.tinted(0.3) }
                GradientStop { position: 0.25; color: root.tinted(0.06) }
                GradientStop { position: 0.5; color: root.tinted(0.02) }
                GradientStop { position: 0.75; color: root.tinted(0.06) }
                GradientStop { position: 1; color: root.tinted(0.3) }
            }
            PathAngleArc {
                centerX: root.size / 2
                centerY: root.size / 2
                radiusX: root.size / 2
                radiusY: root.size / 2
                startAngle: 0
                sweepAngle: 360
            }
            PathAngleArc {
                moveToStart: true
                centerX: root.size / 2
                centerY: root.size / 2
                radiusX: root.size / 2 - 0.8
                radiusY: root.size / 2 - 0.8
                startAngle: 0
                sweepAngle: 360
            }
        }
    }
    BRGlow {
        anchors.fill: label
        source: label
        glowColor: root.tint
        glowOpacity: 0.25
        radius: 3
    }
    Text {
        id: label
        objectName: "tokenDiscText"
        anchors.centerIn: parent
        text: root.initials
        textFormat: Text.PlainText
        font.family: BRFont.family
        font.pixelSize: Math.max(1, root.size * 0.3)
        font.bold: true
        color: root.tint
    }
}
