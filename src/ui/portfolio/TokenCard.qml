import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// The card of one token holding: disc, name over symbol, amount over dollar value, and a
// chevron where the card opens something. The caller formats the amount and value (TokenRow
// from the numbers; the portfolio's own lines from its model); name and symbol are the token's
// own untrusted texts and are shown literally.
BRHoverEffect {
    id: root
    property string name: ""
    property string symbol: ""
    property string amountText: ""
    property string valueText: ""
    property bool showsChevron: true
    property color valueColor: BRPalette.textTertiary

    hoverScale: 1.01
    glowColor: BRPalette.accent
    implicitHeight: card.implicitHeight

    BRSurface {
        id: card
        width: root.width
        elevated: false
        padding: 12
        RowLayout {
            width: card.width - 2 * card.padding
            spacing: 12
            TokenDiscIcon {
                symbol: root.symbol
                size: 36
            }
            ColumnLayout {
                spacing: 2
                Layout.fillWidth: true
                Layout.minimumWidth: 0
                Text {
                    objectName: "tokenRowName"
                    text: root.name
                    textFormat: Text.PlainText
                    font: BRFont.body
                    color: BRPalette.textPrimary
                    elide: Text.ElideRight
                    maximumLineCount: 1
                    Layout.fillWidth: true
                }
                Text {
                    objectName: "tokenRowSymbol"
                    text: root.symbol
                    textFormat: Text.PlainText
                    font.family: BRFont.family
                    font.pixelSize: 11
                    font.weight: Font.Medium
                    font.letterSpacing: 0.5
                    color: BRPalette.textTertiary
                }
            }
            ColumnLayout {
                spacing: 2
                Text {
                    objectName: "tokenRowAmount"
                    Layout.alignment: Qt.AlignRight
                    text: root.amountText
                    textFormat: Text.PlainText
                    font: BRFont.body
                    color: BRPalette.textPrimary
                }
                Text {
                    objectName: "tokenRowValue"
                    Layout.alignment: Qt.AlignRight
                    text: root.valueText
                    textFormat: Text.PlainText
                    font: BRFont.caption2
                    color: root.valueColor
                }
            }
            BRSymbol {
                visible: root.showsChevron
                name: "chevron.right"
                size: 10
                font.weight: Font.DemiBold
                color: Qt.rgba(BRPalette.textTertiary.r, BRPalette.textTertiary.g,
                               BRPalette.textTertiary.b, 0.4)
            }
        }
    }
}
