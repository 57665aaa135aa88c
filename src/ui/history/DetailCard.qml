import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// One field of the transaction detail: its name in small capitals over its value, on a
// raised card as wide as the sheet.
BRSurface {
    id: root
    property string label: ""
    default property alias value: holder.data

    elevated: true
    padding: 12
    implicitWidth: column.implicitWidth + 2 * padding
    implicitHeight: column.implicitHeight + 2 * padding

    ColumnLayout {
        id: column
        width: root.width - 2 * root.padding
        spacing: 8
        Text {
            text: root.label
            textFormat: Text.PlainText
            font.family: BRFont.family
            font.pixelSize: 11
            font.weight: Font.Medium
            font.letterSpacing: 0.5
            font.capitalization: Font.AllUppercase
            color: BRPalette.textTertiary
        }
        Item {
            id: holder
            Layout.fillWidth: true
            implicitHeight: childrenRect.height
        }
    }
}
