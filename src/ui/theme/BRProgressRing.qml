import QtQuick
import Quillmark.Ui

// A confirmation sheet's progress: a track circle, the arc from the top to `progress` in a
// conical gradient (`tint`, `deepTint`, `tint`) with round ends, and the whole percentage in
// the middle (fraction dropped: 0.999 shows 99%). Both ease over 0.15 s.
Item {
    id: root
    property real progress: 0
    property color tint: BRPalette.accent
    property color deepTint: BRPalette.accentDeep
    readonly property int percent: Math.floor(Math.max(0, Math.min(1, progress)) * 100 + 1e-9)

    implicitWidth: 100
    implicitHeight: 100

    property real shownProgress: progress
    Behavior on shownProgress { NumberAnimation { duration: 150; easing.type: Easing.InOutQuad } }
    onShownProgressChanged: arc.requestPaint()
    onTintChanged: arc.requestPaint()
    onDeepTintChanged: arc.requestPaint()

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
            const p = Math.max(0, Math.min(1, root.shownProgress))
            if (p <= 0)
                return
            const c = width / 2
            // Canvas angles run clockwise from three o'clock; the arc starts at twelve.
            const gradient = ctx.createConicalGradient(c, c, -Math.PI / 2)
            gradient.addColorStop(0, root.tint)
            gradient.addColorStop(0.5, root.deepTint)
            gradient.addColorStop(1, root.tint)
            ctx.strokeStyle = gradient
            ctx.lineWidth = 4
            ctx.lineCap = "round"
            ctx.beginPath()
            ctx.arc(c, c, c - 2, -Math.PI / 2, -Math.PI / 2 + 2 * Math.PI * p, false)
            ctx.stroke()
        }
    }
    Text {
        objectName: "progressPercent"
        textFormat: Text.PlainText
        anchors.centerIn: parent
        text: root.percent + "%"
        font: BRFont.monospacedFont(24, Font.DemiBold)
        color: BRPalette.textPrimary
    }
}
