import QtQuick
import Quillmark.Ui

// A panel: its content padded on all edges over a rounded, softly shaded fill with a top
// highlight, a thin border and a drop shadow.
Item {
    id: root
    property bool elevated: false
    property real padding: 16
    default property alias content: holder.data
    readonly property color panelColor: elevated ? BRPalette.surface : BRPalette.backgroundSecondary

    implicitWidth: holder.childrenRect.width + 2 * padding
    implicitHeight: holder.childrenRect.height + 2 * padding

    BRGlow {
        anchors.fill: fill
        source: fill
        glowColor: BRPalette.shadow
        glowOpacity: 1
        radius: 14
        verticalOffset: 6
    }
    Rectangle {
        id: fill
        anchors.fill: parent
        radius: 10
        gradient: Gradient {
            GradientStop { position: 0; color: root.panelColor }
            GradientStop {
                position: 1
                color: Qt.rgba(root.panelColor.r, root.panelColor.g, root.panelColor.b, 0.85)
            }
        }
    }
    Rectangle {
        anchors.fill: parent
        radius: 10
        color: "transparent"
        border.width: 0.5
        border.color: BRPalette.border
    }
    Item {
        // The top highlight: the upper half of the outline in white at 3 %.
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: parent.height / 2
        clip: true
        Rectangle {
            width: parent.width
            height: fill.height
            radius: 10
            color: "transparent"
            border.width: 0.5
            border.color: Qt.rgba(1, 1, 1, 0.03)
        }
    }
    Item {
        id: holder
        anchors.fill: parent
        anchors.margins: root.padding
    }
}
