import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// Every other action: primary text on the secondary fill with a thin border.
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
        color: BRPalette.textPrimary
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Item {
        implicitWidth: 80
        implicitHeight: 36
        BRGlow {
            anchors.fill: fill
            source: fill
            visible: control.isHovering
            glowColor: BRPalette.accent
            glowOpacity: 0.06
            radius: 8
        }
        Rectangle {
            id: fill
            anchors.fill: parent
            radius: 10
            color: BRPalette.secondaryButtonFill
            border.width: 0.5
            border.color: control.isHovering
                          ? Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.25)
                          : BRPalette.secondaryButtonBorder
        }
    }
}
