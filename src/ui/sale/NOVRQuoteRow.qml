import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// A figure of the sale's quote: its label on the left, the value on the right.
RowLayout {
    id: root
    property string label: ""
    property string value: ""

    Layout.fillWidth: true
    Layout.leftMargin: 4
    Layout.rightMargin: 4
    Text {
        textFormat: Text.PlainText
        text: root.label
        font: BRFont.systemFont(11, Font.Medium)
        color: BRPalette.textTertiary
    }
    Item { Layout.fillWidth: true }
    Text {
        objectName: "value"
        textFormat: Text.PlainText
        text: root.value
        font: BRFont.systemFont(11, Font.Medium)
        color: BRPalette.textSecondary
    }
}
