import QtQuick
import Quillmark.Ui

// Where the account screen opens the swap sheet on `chain` (its Swap button and the USDC and
// ETH chips; no token preselected). A stand-in until the swap screen exists.
PlaceholderSheet {
    objectName: "swapSheet"
    property int chain: 0

    screenName: "Swap"
    note: "Swap placeholder: not built yet."
}
