import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// A row of a details card: the label at the left, the value at the right.
RowLayout {
    property string label: ""
    property string value: ""
    property alias valueName: valueText.objectName

    Layout.fillWidth: true
    Text {
        textFormat: Text.PlainText
        text: parent.label
        font: BRFont.caption
        color: BRPalette.textTertiary
    }
    Item { Layout.fillWidth: true }
    Text {
        id: valueText
        textFormat: Text.PlainText
        text: parent.value
        font: BRFont.monoMedium
        color: BRPalette.textPrimary
        elide: Text.ElideMiddle
        Layout.maximumWidth: 260
    }
}
