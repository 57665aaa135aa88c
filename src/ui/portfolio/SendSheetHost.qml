import QtQuick
import Quillmark.Ui

// Where the account and token screens open the send sheet: `chain` and, from a token screen,
// `preselectedToken` (a token map, see TokenVariant.h; null for the native coin). A stand-in
// until the send screen exists.
PlaceholderSheet {
    objectName: "sendSheet"
    property int chain: 0
    property var preselectedToken: null

    screenName: "Send"
    note: "Send placeholder: not built yet."
}
