import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// "Set Wallet Password": the password and its confirmation, handed to the flow's model as
// they are typed (the model keeps them; the fields show them again when the step returns).
ColumnLayout {
    id: root
    required property OnboardingViewModel vm

    spacing: 8
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
    InputField {
        objectName: "passwordField"
        Layout.alignment: Qt.AlignHCenter
        Layout.maximumWidth: 280
        Layout.fillWidth: true
        secure: true
        placeholderText: "Password"
        Component.onCompleted: text = root.vm.passwordText()
        onTextEdited: root.vm.setPassword(text)
    }
    InputField {
        objectName: "confirmPasswordField"
        Layout.alignment: Qt.AlignHCenter
        Layout.maximumWidth: 280
        Layout.fillWidth: true
        secure: true
        placeholderText: "Confirm Password"
        Component.onCompleted: text = root.vm.confirmPasswordText()
        onTextEdited: root.vm.setConfirmPassword(text)
    }
}
