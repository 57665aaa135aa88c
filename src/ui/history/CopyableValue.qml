import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// A hash or an address on one line, selectable, with a button copying it whole.
RowLayout {
    id: root
    property string text: ""
    // What the value is, in its copy button's name ("transaction hash").
    property string copySubject: ""
    width: parent ? parent.width : implicitWidth

    SelectableValue {
        objectName: "copyableValue"
        Layout.fillWidth: true
        Layout.minimumWidth: 0
        text: root.text
        font: BRFont.monoSmall
        color: BRPalette.textPrimary
    }
    CopyButton {
        objectName: "copyValueButton"
        copyText: root.text
        copySubject: root.copySubject
    }
}
