import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The new phrase, to be written down (or copied, at the user's choice), then on to the check.
Item {
    id: root
    objectName: "createWalletView"
    required property OnboardingViewModel vm
    property bool copied: false

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 32
        spacing: 24

        Item { Layout.fillHeight: true }
        Text {
            textFormat: Text.PlainText
            Layout.alignment: Qt.AlignHCenter
            text: "Your Recovery Phrase"
            font: BRFont.title
            color: BRPalette.textPrimary
        }
        Text {
            textFormat: Text.PlainText
            Layout.alignment: Qt.AlignHCenter
            horizontalAlignment: Text.AlignHCenter
            text: "Write down these words in order.\nThis is the only way to recover your wallet."
            font: BRFont.callout
            color: BRPalette.textSecondary
        }
        MnemonicGridView {
            Layout.fillWidth: true
            Layout.leftMargin: 32
            Layout.rightMargin: 32
            vm: root.vm
        }
        AbstractButton {
            id: copyButton
            objectName: "copyPhraseButton"
            FocusRing { controlRadius: 4 }
            Layout.alignment: Qt.AlignHCenter
            hoverEnabled: true
            Accessible.name: copyLabel.text
            contentItem: Row {
                spacing: 6
                BRSymbol {
                    anchors.verticalCenter: parent.verticalCenter
                    name: root.copied ? "checkmark" : "doc.on.doc"
                    size: 11
                    color: root.copied ? BRPalette.success : BRPalette.textSecondary
                }
                Text {
                    id: copyLabel
                    textFormat: Text.PlainText
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.copied ? "Copied!" : "Copy to Clipboard"
                    font: BRFont.label
                    color: root.copied ? BRPalette.success : BRPalette.textSecondary
                }
            }
            onClicked: {
                root.vm.copyMnemonic()
                root.copied = true
                // The label returns 2 s after the first click of a series.
                if (!resetTimer.running) resetTimer.start()
            }
        }
        Timer {
            id: resetTimer
            interval: 2000
            onTriggered: root.copied = false
        }
        ClipboardNote {
            Layout.alignment: Qt.AlignHCenter
        }
        ErrorLine {
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: 420
            text: root.vm.errorMessage
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 12
            BRSecondaryButton {
                objectName: "backButton"
                text: "Back"
                onClicked: root.vm.showStep(OnboardingViewModel.Welcome)
            }
            BRPrimaryButton {
                objectName: "writtenDownButton"
                text: "I've Written It Down"
                onClicked: root.vm.showStep(OnboardingViewModel.CreateVerify)
            }
        }
        Item { Layout.fillHeight: true }
    }
}
