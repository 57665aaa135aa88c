import QtQuick
import Quillmark.Ui

// One token balance of an account: the card with its amount ("12.5000 USDC") and its dollar
// value with the floor for tiny holdings ("< $0.01"), both formatted here from the numbers
// (the row takes no finished texts). A balance without a price is worth $0.00. The parent
// attaches what a click does.
Item {
    id: root
    property string name: ""
    property string symbol: ""
    property real balanceFormatted: 0 // whole tokens
    property var priceUSD: null       // dollars per token; null or undefined: no price

    readonly property bool hasPrice: typeof priceUSD === "number" && isFinite(priceUSD)

    implicitWidth: card.implicitWidth
    implicitHeight: card.implicitHeight

    TokenCard {
        id: card
        width: root.width
        name: root.name
        symbol: root.symbol
        amountText: AmountTexts.formatTokenAmount(root.balanceFormatted, root.symbol)
        valueText: AmountTexts.formatTokenUSD(root.hasPrice ? root.balanceFormatted * root.priceUSD : 0)
        showsChevron: true
        valueColor: BRPalette.textTertiary
    }
}
