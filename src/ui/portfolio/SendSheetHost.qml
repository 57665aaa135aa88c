import QtQuick
import Quillmark.Ui

// Where the account and token screens open the send sheet: `chain` and, from a token screen,
// `preselectedToken` (a token map, see TokenVariant.h; null for the native coin).
BRSheet {
    id: root
    objectName: "sendSheet"
    property int chain: 0
    property var preselectedToken: null

    width: 480
    height: Math.min(Math.max(560, contentItem.implicitHeight), parent ? parent.height - 32 : 640)
    contentItem: Loader {
        active: root.visible
        sourceComponent: SendView {
            chain: root.chain
            preselectedToken: root.preselectedToken
            onCloseRequested: root.close()
        }
    }
}
