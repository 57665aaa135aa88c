import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// A row of a details card: the label at the left, the value at the right. The value is never
// shortened: every character shows, wrapped onto further lines when it does not fit, and it
// can be selected.
RowLayout {
    property string label: ""
    property string value: ""
    property alias valueName: valueText.objectName

    Layout.fillWidth: true
    spacing: 12
    Text {
        Layout.alignment: Qt.AlignTop
        textFormat: Text.PlainText
        text: parent.label
        font: BRFont.caption
        color: BRPalette.textTertiary
    }
    WholeValue {
        id: valueText
        Layout.fillWidth: true
        horizontalAlignment: TextEdit.AlignRight
        text: parent.value
        font: BRFont.monoMedium
    }
}
