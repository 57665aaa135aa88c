import QtQuick
import Quillmark.Ui

// Where the account screen opens the swap sheet on `chain` (its Swap button and the USDC and
// ETH chips; no token preselected).
SwapView {
    objectName: "swapSheet"
}
