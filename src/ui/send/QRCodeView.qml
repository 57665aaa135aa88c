import QtQuick
import Quillmark.Ui

// `content` as a QR code, drawn unsmoothed at a whole number of pixels per module, centred in
// the space offered; the "qrcode" symbol when no code holds the text.
Item {
    id: root
    property string content: ""
    readonly property bool hasCode: code.status === Image.Ready

    Image {
        id: code
        objectName: "qrCodeImage"
        anchors.centerIn: parent
        source: QRCodes.source(root.content)
        sourceSize: Qt.size(Math.floor(root.width), Math.floor(root.height))
        smooth: false
        mipmap: false
        cache: false
        fillMode: Image.Pad
    }
    BRSymbol {
        objectName: "qrCodeFallback"
        anchors.centerIn: parent
        visible: code.status === Image.Error || root.content.length === 0
        name: "qrcode"
        size: 100
        color: BRPalette.textSecondary
    }
}
