import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The forms' text field: plain text on a rounded surface with a thin outline that turns red
// while the screen shows an error. Secure fields keep their text out of input-method history.
TextField {
    id: field
    property bool showsError: false
    property bool secure: false
    property real cornerRadius: 6
    property real maximumWidth: 280

    // Named by what it asks for; a form that labels it otherwise sets its own name here. (Qt
    // Quick reads the Accessible name of a password field as empty: AccessibleStates reads this.)
    property string accessibleName: placeholderText

    implicitWidth: maximumWidth
    Accessible.name: accessibleName
    echoMode: secure ? TextInput.Password : TextInput.Normal
    inputMethodHints: secure ? (Qt.ImhHiddenText | Qt.ImhSensitiveData | Qt.ImhNoPredictiveText)
                             : Qt.ImhNoPredictiveText
    font: BRFont.callout
    color: BRPalette.textPrimary
    placeholderTextColor: BRPalette.textTertiary
    selectionColor: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.35)
    selectedTextColor: BRPalette.textPrimary
    padding: 8
    selectByMouse: true
    FocusRing { controlRadius: field.cornerRadius }
    background: Rectangle {
        radius: field.cornerRadius
        color: BRPalette.surface
        border.width: 0.5
        border.color: field.showsError
                      ? Qt.rgba(BRPalette.error.r, BRPalette.error.g, BRPalette.error.b, 0.5)
                      : BRPalette.border
    }
}
