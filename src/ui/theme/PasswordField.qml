import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// The password step's field and its error line, over a PasswordEntry: the typed text goes to
// the entry (never to a QML string), the outline turns red and the line shows the entry's
// error, and the field's buffer is wiped when the entry wipes or the field goes.
ColumnLayout {
    id: root
    property PasswordEntry entry: null
    property alias placeholderText: field.placeholderText
    // The field's name for assistive technology: the label it sits under, where it has one.
    property string accessibleName: field.placeholderText
    property alias fieldFont: field.font
    property alias fieldName: field.objectName
    property alias errorName: errorLine.objectName
    // The error line's room and alignment; without one, the caller shows the error itself.
    property bool showsErrorLine: true
    property bool errorKeepsRoom: false
    property int errorAlignment: Text.AlignHCenter
    property real fieldWidth: 280
    // The red outline and the line's text: the entry's error unless the step shows its own.
    property bool showsError: entry ? entry.hasError : false
    property string errorText: entry ? entry.errorMessage : ""
    property bool fillsWidth: false
    // Whether the field takes the focus when it is made (off where a form has several fields).
    property bool takesFocus: true
    // Return in the field, even when it is empty.
    signal accepted()
    // The user changed the text (what was typed stays with the entry).
    signal edited()

    function focusField() { field.forceActiveFocus() }
    onEntryChanged: if (entry) entry.field = field

    spacing: 12

    InputField {
        id: field
        Layout.alignment: Qt.AlignHCenter
        Layout.fillWidth: root.fillsWidth
        Layout.preferredWidth: root.fillsWidth ? -1 : root.fieldWidth
        secure: true
        placeholderText: "Password"
        accessibleName: root.accessibleName
        showsError: root.showsError
        focus: root.takesFocus
        onAccepted: root.accepted()
        onTextEdited: root.edited()
        Component.onCompleted: if (root.entry) root.entry.field = field
        // Before the field's text is freed: its buffer is overwritten first.
        Component.onDestruction: PasswordFields.wipe(field)
    }
    ErrorLine {
        id: errorLine
        visible: root.showsErrorLine && (root.errorKeepsRoom || text.length > 0)
        Layout.fillWidth: true
        Layout.maximumWidth: root.fillsWidth ? -1 : root.fieldWidth
        Layout.alignment: Qt.AlignHCenter
        horizontalAlignment: root.errorAlignment
        keepsRoom: root.errorKeepsRoom
        text: root.errorText
    }
}
