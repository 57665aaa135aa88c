import QtQuick
import Quillmark.Ui

// A send's progress: a thin track and, over it, an arc from the top growing clockwise to
// `progress`, stroked with a conical gradient of the accent; the whole percent in the middle.
Item {
    id: root
    property real progress: 0
    // The drawn value follows `progress` eased, as the percent does.
    property real shown: progress
    Behavior on shown { NumberAnimation { duration: 150; easing.type: Easing.InOutQuad } }

    implicitWidth: 100
    implicitHeight: 100

    Canvas {
        id: canvas
        anchors.fill: parent
        renderStrategy: Canvas.Immediate
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            const line = 4
            const r = Math.min(width, height) / 2 - line / 2 - 1
            const cx = width / 2
            const cy = height / 2
            ctx.lineWidth = line
            ctx.strokeStyle = BRPalette.border
            ctx.beginPath()
            ctx.arc(cx, cy, r, 0, 2 * Math.PI)
            ctx.stroke()
            const p = Math.max(0, Math.min(1, root.shown))
            if (p <= 0)
                return
            // Starts (and ends) at the top, so the arc's two ends are the light accent.
            const gradient = ctx.createConicalGradient(cx, cy, Math.PI / 2)
            gradient.addColorStop(0, BRPalette.accent)
            gradient.addColorStop(0.5, BRPalette.accentDeep)
            gradient.addColorStop(1, BRPalette.accent)
            ctx.strokeStyle = gradient
            ctx.lineCap = "round"
            ctx.beginPath()
            ctx.arc(cx, cy, r, -Math.PI / 2, -Math.PI / 2 + 2 * Math.PI * p, false)
            ctx.stroke()
        }
    }
    onShownChanged: canvas.requestPaint()
    Connections {
        target: BRPalette
        function onThemeChanged() { canvas.requestPaint() }
    }

    Text {
        objectName: "progressPercent"
        textFormat: Text.PlainText
        anchors.centerIn: parent
        text: Math.floor(root.progress * 100 + 1e-9) + "%"
        font: BRFont.monospacedFont(24, Font.DemiBold)
        color: BRPalette.textPrimary
    }
}
