import QtQuick
import Quillmark.Ui

// The disc of a chain: Bitcoin's sign in its orange, a diamond in each other chain's colour.
MetallicDiscIcon {
    property int chain: 0 // 0 Bitcoin, 1 Ethereum, 2 Arbitrum, 3 Polygon, 4 Solana

    systemName: BRIcon.chainSymbol(chain)
    color: BRPalette.chainColor(chain)
}
