import QtQuick
import Quillmark.Ui

// The sale's progress: a track circle, the arc from the top to `progress` in a violet conical
// gradient with round ends, and the whole percentage in the middle.
Item {
    id: root
    property real progress: 0
    property string text: ""
    readonly property color violet: Qt.rgba(153 / 255, 69 / 255, 1, 1)
    readonly property color deepViolet: Qt.rgba(91 / 255, 33 / 255, 182 / 255, 1)

    implicitWidth: 100
    implicitHeight: 100

    Behavior on progress { NumberAnimation { duration: 150; easing.type: Easing.InOutQuad } }
    onProgressChanged: arc.requestPaint()

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: "transparent"
        border.width: 4
        border.color: BRPalette.border
    }
    Canvas {
        id: arc
        anchors.fill: parent
        renderStrategy: Canvas.Cooperative
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            const p = Math.max(0, Math.min(1, root.progress))
            if (p <= 0)
                return
            const c = width / 2
            // Canvas angles run clockwise from three o'clock; the arc starts at twelve.
            const gradient = ctx.createConicalGradient(c, c, -Math.PI / 2)
            gradient.addColorStop(0, root.violet)
            gradient.addColorStop(0.5, root.deepViolet)
            gradient.addColorStop(1, root.violet)
            ctx.strokeStyle = gradient
            ctx.lineWidth = 4
            ctx.lineCap = "round"
            ctx.beginPath()
            ctx.arc(c, c, c - 2, -Math.PI / 2, -Math.PI / 2 + 2 * Math.PI * p, false)
            ctx.stroke()
        }
    }
    Text {
        objectName: "progressText"
        textFormat: Text.PlainText
        anchors.centerIn: parent
        text: root.text
        font: BRFont.monospacedFont(24, Font.DemiBold)
        color: BRPalette.textPrimary
    }
}
