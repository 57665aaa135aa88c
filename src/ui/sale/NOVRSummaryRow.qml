import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// A row of the sale's order summary: the label on the left, the value on the right; a value
// too long for the line wraps, never elided.
RowLayout {
    id: root
    property string label: ""
    property string value: ""

    Layout.fillWidth: true
    spacing: 12
    Text {
        // Level with the value's first line.
        Layout.alignment: Qt.AlignBaseline
        textFormat: Text.PlainText
        text: root.label
        font: BRFont.systemFont(12, Font.Normal)
        color: BRPalette.textTertiary
    }
    WholeValue {
        objectName: "value"
        // The room the label leaves, however long the value.
        Layout.alignment: Qt.AlignBaseline
        Layout.fillWidth: true
        Layout.preferredWidth: 0
        horizontalAlignment: TextEdit.AlignRight
        text: root.value
        font: BRFont.monospacedFont(13, Font.Medium)
    }
}
