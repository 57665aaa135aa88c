import QtQuick
import Quillmark.Ui

// The face while the program's first look at what is stored waits for the keyring. Blank at
// first: a keyring that answers at once ends this before anyone reads it.
Item {
    objectName: "openingView"
    Column {
        anchors.centerIn: parent
        spacing: 12
        visible: false
        Timer {
            interval: 300
            running: true
            onTriggered: parent.visible = true
        }
        BRBusyIndicator {
            anchors.horizontalCenter: parent.horizontalCenter
            running: parent.visible
            width: 20
            height: 20
        }
        Text {
            objectName: "openingText"
            Accessible.name: text
            text: "Opening the keyring\u2026"
            textFormat: Text.PlainText
            font: BRFont.callout
            color: BRPalette.textSecondary
        }
    }
}
