import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The Bitcoin account's two tabs, "Portfolio" and "Indirizzi", as a segmented bar.
TabBar {
    id: root
    property string current: "Portfolio"
    readonly property var tabs: ["Portfolio", "Indirizzi"]
    signal picked(string tab)

    currentIndex: Math.max(0, tabs.indexOf(current))
    spacing: 2
    padding: 2
    background: Rectangle {
        radius: 7
        color: BRPalette.surface
        border.width: 0.5
        border.color: BRPalette.border
    }

    Repeater {
        model: root.tabs
        TabButton {
            id: tab
            required property string modelData
            required property int index
            objectName: "btcTab_" + modelData
            FocusRing {}
            text: modelData
            font: BRFont.label
            onClicked: root.picked(modelData)
            contentItem: Text {
                text: tab.text
                textFormat: Text.PlainText
                font: tab.font
                color: tab.checked ? BRPalette.textPrimary : BRPalette.textSecondary
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                implicitHeight: 24
                radius: 5
                color: tab.checked ? BRPalette.backgroundSecondary : "transparent"
                border.width: tab.checked ? 0.5 : 0
                border.color: BRPalette.border
            }
        }
    }
}
