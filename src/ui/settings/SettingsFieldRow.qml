import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// A labelled text field of a settings form: the label in a 70-point column, the field in
// the monospaced font on a small rounded fill, outlined in red while it has a problem.
RowLayout {
    id: root
    property string label: ""
    property alias text: field.text
    property bool showsError: false
    signal edited(string text)

    Text {
        textFormat: Text.PlainText
        Layout.preferredWidth: 70
        text: root.label
        font: BRFont.callout
        color: BRPalette.textSecondary
    }
    TextField {
        id: field
        objectName: "field_" + root.label
        FocusRing { controlRadius: 4 }
        Layout.fillWidth: true
        placeholderText: root.label
        Accessible.name: root.label
        placeholderTextColor: BRPalette.textTertiary
        font: BRFont.mono
        color: BRPalette.textPrimary
        selectByMouse: true
        inputMethodHints: Qt.ImhNoPredictiveText | Qt.ImhNoAutoUppercase
        padding: 6
        onTextEdited: root.edited(text)
        background: Rectangle {
            radius: 4
            color: BRPalette.backgroundSecondary
            border.width: 0.5
            border.color: root.showsError
                          ? Qt.rgba(BRPalette.error.r, BRPalette.error.g, BRPalette.error.b, 0.5)
                          : BRPalette.border
        }
    }
}
