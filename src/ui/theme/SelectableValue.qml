import QtQuick
import Quillmark.Ui

// A long value (a hash, an address) on one line with its middle elided, that the user can
// still select whole: a press puts the full text in a read-only field that scrolls with the
// selection; leaving it shows the elided line again.
Item {
    id: root
    property string text: ""
    property font font: BRFont.monoSmall
    property color color: BRPalette.textPrimary
    readonly property bool isSelecting: input.activeFocus

    implicitWidth: label.implicitWidth
    implicitHeight: label.implicitHeight
    clip: true

    Text {
        id: label
        objectName: "selectableValueText"
        anchors.fill: parent
        visible: !input.activeFocus
        text: root.text
        textFormat: Text.PlainText
        font: root.font
        color: root.color
        elide: Text.ElideMiddle
        maximumLineCount: 1
        verticalAlignment: Text.AlignVCenter
    }
    TextInput {
        id: input
        objectName: "selectableValueInput"
        anchors.fill: parent
        opacity: activeFocus ? 1 : 0
        text: root.text
        font: root.font
        color: root.color
        readOnly: true
        selectByMouse: true
        verticalAlignment: TextInput.AlignVCenter
        selectionColor: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.3)
        selectedTextColor: root.color
        onActiveFocusChanged: if (!activeFocus) { deselect(); ensureVisible(0) }
    }
}
