import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// A capsule on the Arbitrum account screen that opens a swap: the token's disc, its symbol
// and a swap arrow in the chip's colour.
BRHoverEffect {
    id: root
    property string symbol: ""
    property color chipColor: BRPalette.accent
    signal clicked()

    hoverScale: 1.05
    glowColor: chipColor
    implicitWidth: button.implicitWidth
    implicitHeight: button.implicitHeight

    AbstractButton {
        id: button
        objectName: "quickSwap_" + root.symbol
        FocusRing { controlRadius: height / 2 }
        Accessible.name: root.symbol
        leftPadding: 12
        rightPadding: 12
        topPadding: 8
        bottomPadding: 8
        onClicked: root.clicked()
        contentItem: Row {
            spacing: 6
            TokenDiscIcon {
                symbol: root.symbol
                size: 22
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                text: root.symbol
                textFormat: Text.PlainText
                font: BRFont.label
                color: BRPalette.textPrimary
                anchors.verticalCenter: parent.verticalCenter
            }
            BRSymbol {
                name: "arrow.triangle.swap"
                size: 9
                font.weight: Font.DemiBold
                color: root.chipColor
                anchors.verticalCenter: parent.verticalCenter
            }
        }
        background: Rectangle {
            radius: height / 2
            color: BRPalette.surface
            border.width: 0.5
            border.color: Qt.rgba(root.chipColor.r, root.chipColor.g, root.chipColor.b, 0.25)
        }
    }
}
