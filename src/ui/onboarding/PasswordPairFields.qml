import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// "Set Wallet Password": the password and its confirmation, each a password step of the
// flow's model (the typed text read into wiping storage, never a QML string). The model never
// hands them back: fields made anew start empty and empty the model's copy, so what is shown
// and what is used agree. Errors show on the screen's own line; Return does nothing here.
// Below the fields, why the screen's button stays greyed out (too short, or the two differ).
ColumnLayout {
    id: root
    required property OnboardingViewModel vm

    spacing: 8
    Component.onCompleted: root.vm.clearPasswords()
    Text {
        textFormat: Text.PlainText
        Layout.alignment: Qt.AlignHCenter
        text: "Set Wallet Password"
        font: BRFont.body
        color: BRPalette.textPrimary
    }
    Text {
        textFormat: Text.PlainText
        Layout.alignment: Qt.AlignHCenter
        text: "Min. 8 characters \u2014 used to encrypt your seed."
        font: BRFont.caption2
        color: BRPalette.textTertiary
    }
    PasswordField {
        Layout.alignment: Qt.AlignHCenter
        entry: root.vm.passwordEntry
        fieldName: "passwordField"
        placeholderText: "Password"
        showsErrorLine: false
        takesFocus: false
    }
    PasswordField {
        Layout.alignment: Qt.AlignHCenter
        entry: root.vm.confirmPasswordEntry
        fieldName: "confirmPasswordField"
        placeholderText: "Confirm Password"
        showsErrorLine: false
        takesFocus: false
    }
    // Always one line high: the buttons below do not move as it comes and goes.
    Text {
        objectName: "passwordPairHint"
        Layout.alignment: Qt.AlignHCenter
        Layout.preferredHeight: hintMetrics.height
        Accessible.role: Accessible.StaticText
        Accessible.name: text
        text: root.vm.pairHint
        textFormat: Text.PlainText
        font: BRFont.caption2
        color: BRPalette.warning
        FontMetrics { id: hintMetrics; font: BRFont.caption2 }
    }
}
