import QtQuick
import Quillmark.Ui

// A swap token's disc as the rest of the window draws it: the chain's own disc for the chain's
// coin (as on its account), the symbol's badge for any other token (as on the token cards).
Item {
    id: root
    property string symbol: ""
    property bool isNative: false
    property int chain: 0
    property real size: 28

    implicitWidth: size
    implicitHeight: size

    ChainDiscIcon {
        objectName: "chainDisc"
        anchors.centerIn: parent
        visible: root.isNative
        chain: root.chain
        size: root.size
    }
    TokenDiscIcon {
        objectName: "tokenDisc"
        anchors.centerIn: parent
        visible: !root.isNative
        symbol: root.symbol
        size: root.size
    }
}
