import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// An address in the monospaced font, optionally shortened, with a button copying it whole.
Row {
    id: root
    property string address: ""
    property bool truncate: false

    spacing: 4
    TextEdit {
        text: AddressText.label(root.address, root.truncate)
        font: BRFont.mono
        color: BRPalette.textSecondary
        readOnly: true
        selectByMouse: true
        selectionColor: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.3)
        anchors.verticalCenter: parent.verticalCenter
    }
    CopyButton {
        copyText: root.address
        copySubject: "address"
        anchors.verticalCenter: parent.verticalCenter
    }
}
