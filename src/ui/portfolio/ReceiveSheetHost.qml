import QtQuick
import Quillmark.Ui

// Where the account and token screens open the receive sheet for the account's `address` on
// `chain`.
BRSheet {
    id: root
    objectName: "receiveSheet"
    property int chain: 0
    property string address: ""

    width: 400
    height: 460
    contentItem: Loader {
        active: root.visible
        sourceComponent: ReceiveView {
            chain: root.chain
            address: root.address
            onCloseRequested: root.close()
        }
    }
}
