import QtQuick
import Quillmark.Ui

// Where the account and token screens open the receive sheet for the account's `address` on
// `chain`. A stand-in until the receive screen exists.
PlaceholderSheet {
    objectName: "receiveSheet"
    property int chain: 0
    property string address: ""

    screenName: "Receive"
    note: "Receive placeholder: not built yet."
}
