import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// "Set Wallet Password": the password and its confirmation, handed to the flow's model as
// they are typed. The model never hands them back: fields made anew start empty and empty
// the model's copy, so what is shown and what is used agree.
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
        Component.onCompleted: root.vm.setPassword("")
        onTextEdited: root.vm.setPassword(text)
    }
    InputField {
        objectName: "confirmPasswordField"
        Layout.alignment: Qt.AlignHCenter
        Layout.maximumWidth: 280
        Layout.fillWidth: true
        secure: true
        placeholderText: "Confirm Password"
        Component.onCompleted: root.vm.setConfirmPassword("")
        onTextEdited: root.vm.setConfirmPassword(text)
    }
}
