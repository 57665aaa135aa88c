import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The word check and the password: three words of the phrase typed back, then the wallet
// is created. Everything typed lives in the flow's model, so going back keeps it.
Item {
    id: root
    objectName: "wordVerifyView"
    required property OnboardingViewModel vm

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 32
        spacing: 24

        Item { Layout.fillHeight: true }
        Text {
            textFormat: Text.PlainText
            Layout.alignment: Qt.AlignHCenter
            text: "Verify Recovery Phrase"
            font: BRFont.title
            color: BRPalette.textPrimary
        }
        Text {
            textFormat: Text.PlainText
            Layout.alignment: Qt.AlignHCenter
            horizontalAlignment: Text.AlignHCenter
            text: "Enter the following words to confirm\nyou've saved your recovery phrase."
            font: BRFont.callout
            color: BRPalette.textSecondary
        }
        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 12
            Repeater {
                model: root.vm.verificationIndices
                delegate: RowLayout {
                    required property int index
                    required property int modelData
                    Text {
                        textFormat: Text.PlainText
                        Layout.preferredWidth: 90
                        horizontalAlignment: Text.AlignRight
                        text: "Word #" + (modelData + 1)
                        font: BRFont.body
                        color: BRPalette.textPrimary
                    }
                    InputField {
                        objectName: "verifyWordField" + index
                        Accessible.name: "Word #" + (modelData + 1)
                        Layout.preferredWidth: 200
                        maximumWidth: 200
                        placeholderText: "Enter word"
                        font: BRFont.mono
                        // The model never hands a typed word back: a field made anew starts
                        // empty and empties the model's copy, so what is shown is what is checked.
                        Component.onCompleted: root.vm.setVerificationAnswer(index, "")
                        onTextEdited: root.vm.setVerificationAnswer(index, text)
                    }
                }
            }
        }
        PasswordPairFields {
            Layout.alignment: Qt.AlignHCenter
            vm: root.vm
        }
        ErrorLine {
            objectName: "verifyErrorLine"
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: 420
            keepsRoom: true
            text: root.vm.errorMessage
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 12
            BRSecondaryButton {
                objectName: "backButton"
                text: "Back"
                onClicked: root.vm.showStep(OnboardingViewModel.CreateShowSeed)
            }
            BRPrimaryButton {
                objectName: "verifyAndCreateButton"
                text: "Verify & Create Wallet"
                enabled: !root.vm.isCreating && root.vm.isPasswordValid
                onClicked: root.vm.submitVerifyAndCreate()
                // Beside the button, outside the row: the centred buttons keep their place.
                BRBusyIndicator {
                    objectName: "creatingIndicator"
                    x: parent.width + 12
                    y: (parent.height - height) / 2
                    width: 20
                    height: 20
                    visible: root.vm.isCreating
                    running: visible
                }
            }
        }
        Item { Layout.fillHeight: true }
    }
}
