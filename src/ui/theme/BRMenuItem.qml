import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// A menu command in the theme's colours with its keyboard shortcut on the right.
MenuItem {
    id: control
    readonly property string shortcutText: action && action.shortcut !== undefined
                                           ? String(action.shortcut) : ""

    implicitWidth: Math.max(220, contentItem.implicitWidth + leftPadding + rightPadding)
    implicitHeight: 28
    leftPadding: 12
    rightPadding: 12
    hoverEnabled: true
    FocusRing { controlRadius: 4; outset: 0 }

    contentItem: RowLayout {
        spacing: 24
        Text {
            textFormat: Text.PlainText
            Layout.fillWidth: true
            text: control.text
            font: BRFont.callout
            color: control.enabled ? BRPalette.textPrimary : BRPalette.textTertiary
            verticalAlignment: Text.AlignVCenter
        }
        Text {
            textFormat: Text.PlainText
            objectName: "menuShortcut"
            visible: control.shortcutText.length > 0
            text: control.shortcutText
            font: BRFont.caption
            color: control.enabled ? BRPalette.textSecondary : BRPalette.textTertiary
            verticalAlignment: Text.AlignVCenter
        }
    }
    background: Rectangle {
        color: control.highlighted && control.enabled ? BRPalette.surface : "transparent"
        radius: 4
    }
}
