import QtQuick
import Quillmark.Ui

// A dApp's icon where the window shows one (the proposal sheet, the connected dApps): the
// fetched image fitted with its aspect kept, and a faint accent circle while it loads or when
// it cannot be had.
Item {
    id: root
    // An https address, or "" for none.
    property string url: ""
    // The image's corners (the placeholder is always a circle).
    property real cornerRadius: 0
    readonly property bool isReady: icon.status === DAppIcon.Ready

    Rectangle {
        objectName: "dappIconPlaceholder"
        anchors.fill: parent
        visible: !root.isReady
        radius: width / 2
        color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.12)
    }
    DAppIcon {
        id: icon
        objectName: "dappIcon"
        anchors.fill: parent
        url: root.url
        cornerRadius: root.cornerRadius
    }
}
