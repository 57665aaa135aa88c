import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// A row of the sale's order summary: the label on the left, the value on one line on the right.
RowLayout {
    id: root
    property string label: ""
    property string value: ""

    Layout.fillWidth: true
    Text {
        textFormat: Text.PlainText
        text: root.label
        font: BRFont.systemFont(12, Font.Normal)
        color: BRPalette.textTertiary
    }
    Item { Layout.fillWidth: true }
    Text {
        objectName: "value"
        textFormat: Text.PlainText
        Layout.maximumWidth: 260
        text: root.value
        elide: Text.ElideLeft
        maximumLineCount: 1
        font: BRFont.monospacedFont(13, Font.Medium)
        color: BRPalette.textPrimary
    }
}
