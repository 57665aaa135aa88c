import QtQuick
import Quillmark.Ui

// The busy mark: eight dots on a ring, the brightest stepping round with a fading trail, in
// the accent colour (visible on either theme's backgrounds and on a button). It steps four
// times a second rather than at the display's rate: each step repaints only the mark, where a
// smooth spin would redraw the window sixty times a second for as long as the work lasts. All
// marks on screen step together, in one frame, on one clock (BusySteps).
Item {
    id: root
    property bool running: true
    property color color: BRPalette.accent
    readonly property int step: steps.step

    BusySteps {
        id: steps
        objectName: "busySteps"
        running: root.running && root.visible
    }

    implicitWidth: 16
    implicitHeight: 16

    Repeater {
        model: 8
        Rectangle {
            required property int index
            readonly property real angle: index * Math.PI / 4
            readonly property real ring: (Math.min(root.width, root.height) - width) / 2
            // 0 for the brightest dot, 7 for the one just behind it.
            readonly property int behind: (root.step - index + 8) % 8
            width: Math.max(2, Math.round(Math.min(root.width, root.height) / 5))
            height: width
            radius: width / 2
            x: root.width / 2 + ring * Math.sin(angle) - width / 2
            y: root.height / 2 - ring * Math.cos(angle) - height / 2
            color: root.color
            opacity: root.running ? Math.max(0.2, 1 - behind * 0.16) : 0.35
        }
    }
}
