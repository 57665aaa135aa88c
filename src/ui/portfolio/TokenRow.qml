import QtQuick
import Quillmark.Ui

// One token balance of an account: the card with its amount ("12.5000 USDC", from the exact
// base units) and its dollar value with the floor for tiny holdings ("< $0.01"), both
// formatted here (the row takes no finished texts). A balance held without a price has no
// dollar figure ("—"): its worth is not known, which is no zero; a balance never read has
// neither figure.
// The parent attaches what a click does.
Item {
    id: root
    property string name: ""
    property string symbol: ""
    property string baseUnits: "0"    // the exact balance, decimal digits
    property int decimals: 0
    property real balanceFormatted: 0 // whole tokens, for the dollar value
    property var priceUSD: null       // dollars per token; null or undefined: no price
    property bool balanceKnown: true  // false: no balance was ever read (the fields hold none)

    implicitWidth: card.implicitWidth
    implicitHeight: card.implicitHeight

    TokenCard {
        id: card
        width: root.width
        name: root.name
        symbol: root.symbol
        amountText: root.balanceKnown
                    ? AmountTexts.formatTokenAmount(root.baseUnits, root.decimals, root.symbol)
                    : "\u2014"
        valueText: root.balanceKnown
                   ? AmountTexts.formatHoldingUSD(root.baseUnits, root.balanceFormatted,
                                                  root.priceUSD)
                   : "\u2014"
        showsChevron: true
        valueColor: BRPalette.textTertiary
    }
}
