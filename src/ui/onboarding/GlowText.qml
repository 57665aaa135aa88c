import QtQuick
import Quillmark.Ui

// A title in the accent colour with a soft glow of the same colour around it.
Item {
    id: root
    property alias text: label.text
    property real pixelSize: 40
    property real glowRadius: 8

    implicitWidth: label.implicitWidth
    implicitHeight: label.implicitHeight
    BRGlow {
        anchors.fill: label
        source: label
        glowColor: BRPalette.accent
        glowOpacity: 0.3
        radius: root.glowRadius
    }
    Text {
        textFormat: Text.PlainText
        id: label
        font.family: BRFont.family
        font.pixelSize: root.pixelSize
        font.weight: Font.DemiBold
        color: BRPalette.accent
    }
}
