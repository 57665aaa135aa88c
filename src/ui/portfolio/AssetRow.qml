import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// One account of one chain on the portfolio: chain disc, name over ticker, and the caller's
// balance over its dollar value. A card that lifts on hover; a click does nothing.
BRHoverEffect {
    id: root
    property int chain: 0
    property string balance: ""
    property string fiatBalance: ""
    readonly property var names: ["Bitcoin", "Ethereum", "Arbitrum", "Polygon", "Solana"]
    readonly property var tickers: ["BTC", "ETH", "ETH", "POL", "SOL"]

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
            ChainDiscIcon {
                chain: root.chain
                size: 40
            }
            ColumnLayout {
                spacing: 2
                Text {
                    textFormat: Text.PlainText
                    text: root.names[root.chain]
                    font: BRFont.body
                    color: BRPalette.textPrimary
                }
                Text {
                    textFormat: Text.PlainText
                    objectName: "assetRowTicker"
                    text: root.tickers[root.chain]
                    font: BRFont.label
                    color: BRPalette.textTertiary
                }
            }
            Item { Layout.fillWidth: true }
            ColumnLayout {
                spacing: 2
                Text {
                    objectName: "assetRowBalance"
                    Layout.alignment: Qt.AlignRight
                    text: root.balance
                    textFormat: Text.PlainText
                    font: BRFont.body
                    color: BRPalette.textPrimary
                }
                Text {
                    objectName: "assetRowFiat"
                    Layout.alignment: Qt.AlignRight
                    text: root.fiatBalance
                    textFormat: Text.PlainText
                    font: BRFont.caption2
                    color: BRPalette.textSecondary
                }
            }
        }
    }
}
