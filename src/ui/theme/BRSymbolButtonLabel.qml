import QtQuick
import Quillmark.Ui

// A button's label of a symbol and a text, centred, in one colour.
Item {
    id: root
    property string symbol: ""
    property string text: ""
    property color color: BRPalette.accent
    property font font: BRFont.body

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 6
        BRSymbol {
            anchors.verticalCenter: parent.verticalCenter
            name: root.symbol
            size: 14
            color: root.color
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            textFormat: Text.PlainText
            text: root.text
            font: root.font
            color: root.color
        }
    }
}
