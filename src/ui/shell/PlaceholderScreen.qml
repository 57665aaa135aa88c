import QtQuick
import Quillmark.Ui

// Stands in for a screen that is not built yet: its name and a short note, centred.
Rectangle {
    id: root
    property string screenName: ""
    property string note: "This screen is not built yet."

    color: "transparent"
    implicitWidth: 400
    implicitHeight: 240
    Column {
        anchors.centerIn: parent
        spacing: 8
        Text {
            textFormat: Text.PlainText
            anchors.horizontalCenter: parent.horizontalCenter
            text: root.screenName
            font: BRFont.title
            color: BRPalette.textPrimary
        }
        Text {
            textFormat: Text.PlainText
            anchors.horizontalCenter: parent.horizontalCenter
            text: root.note
            font: BRFont.callout
            color: BRPalette.textTertiary
        }
    }
}
