import QtQuick
import Quillmark.Ui

// A button's label of a symbol and a text, in one colour.
Row {
    id: root
    property string symbol: ""
    property string text: ""
    property font font: BRFont.body
    property color color: BRPalette.textPrimary
    property real symbolSize: 13

    spacing: 6
    BRSymbol {
        name: root.symbol
        size: root.symbolSize
        color: root.color
        anchors.verticalCenter: parent.verticalCenter
    }
    Text {
        text: root.text
        textFormat: Text.PlainText
        font: root.font
        color: root.color
        anchors.verticalCenter: parent.verticalCenter
    }
}
