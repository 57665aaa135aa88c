import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The main action of a screen: accent label on the primary fill, a glow that grows on hover
// and disappears while pressed.
Button {
    id: control
    readonly property bool isHovering: hovered

    font: BRFont.body
    padding: 0
    leftPadding: 24
    rightPadding: 24
    topPadding: 10
    bottomPadding: 10
    hoverEnabled: true
    // Named by its text even where a label of its own replaces the text item.
    Accessible.name: text
    opacity: down ? 0.85 : (enabled ? 1 : 0.5)
    scale: down ? 0.98 : 1
    Behavior on scale { NumberAnimation { duration: 140; easing.type: Easing.OutQuad } }
    Behavior on opacity { NumberAnimation { duration: 140; easing.type: Easing.OutQuad } }
    FocusRing { controlRadius: 10 }

    contentItem: Text {
        textFormat: Text.PlainText
        text: control.text
        font: control.font
        color: BRPalette.accent
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Item {
        implicitWidth: 80
        implicitHeight: 36
        BRGlow {
            anchors.fill: fill
            source: fill
            glowColor: BRPalette.accent
            glowOpacity: control.down ? 0 : (control.isHovering ? 0.25 : 0.1)
            radius: control.isHovering ? 14 : 10
            Behavior on glowOpacity { NumberAnimation { duration: 140; easing.type: Easing.OutQuad } }
        }
        Rectangle {
            id: fill
            anchors.fill: parent
            radius: 10
            color: BRPalette.primaryButtonFill
            border.width: 1
            border.color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b,
                                  control.isHovering ? 0.6 : 0.3)
        }
    }
}
