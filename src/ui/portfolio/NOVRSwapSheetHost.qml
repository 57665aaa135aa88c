import QtQuick
import Quillmark.Ui

// Where the Arbitrum account screen's NOVR chip opens the sale sheet. A stand-in until the
// sale screen exists.
PlaceholderSheet {
    objectName: "novrSwapSheet"
    screenName: "NOVR"
    note: "NOVR sale placeholder: not built yet."
}
