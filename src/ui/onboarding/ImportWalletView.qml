import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// An existing phrase typed or pasted into numbered fields (a pasted phrase spreads over the
// fields from the one it lands in), a new password, then the import.
Item {
    id: root
    objectName: "importWalletView"
    required property OnboardingViewModel vm

    // A pasted phrase: field `index` shows the first word, the next fields the following
    // ones, in lower case; words beyond the last field are dropped.
    function spreadWords(index, words) {
        const kept = Math.min(words.length, root.vm.wordCount)
        for (let k = 0; k < kept; ++k) {
            const row = wordFields.itemAt(index + k)
            if (row)
                row.field.text = words[k].toLowerCase()
        }
    }

    // Every 12/24 choice empties the fields (and the model's words with them).
    function clearWords() {
        for (let i = 0; i < wordFields.count; ++i)
            wordFields.itemAt(i).field.clear()
    }

    // Fields made anew start empty and empty the model's copy, so what is shown is what is used.
    Component.onCompleted: root.vm.chooseWordCount(root.vm.wordCount)

    function focusWord(index) {
        const row = wordFields.itemAt(index)
        if (!row)
            return
        row.field.forceActiveFocus()
        row.field.cursorPosition = row.field.text.length
    }

    ScrollView {
        id: scroller
        anchors.fill: parent
        contentWidth: availableWidth
        clip: true
        ScrollBar.vertical.policy: scroller.contentHeight > scroller.availableHeight
                                   ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded

        ColumnLayout {
            width: scroller.availableWidth
            spacing: 24

            Item { implicitHeight: 8 }
            Text {
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                text: "Import Wallet"
                font: BRFont.title
                color: BRPalette.textPrimary
            }
            Text {
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                text: "Enter your recovery phrase"
                font: BRFont.callout
                color: BRPalette.textSecondary
            }
            // "Words": the 12/24 choice; every choice empties the fields.
            Row {
                objectName: "wordCountPicker"
                Layout.alignment: Qt.AlignHCenter
                Repeater {
                    model: [12, 24]
                    delegate: AbstractButton {
                        id: segment
                        required property int modelData
                        required property int index
                        objectName: "wordCount" + modelData
                        readonly property bool selected: root.vm.wordCount === modelData
                        Accessible.name: modelData + " words"
                        width: 100
                        height: 26
                        contentItem: Text {
                            textFormat: Text.PlainText
                            text: segment.modelData + " words"
                            font: BRFont.label
                            color: segment.selected ? BRPalette.accent : BRPalette.textSecondary
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                        }
                        background: Rectangle {
                            radius: 6
                            color: segment.selected ? BRPalette.surface : "transparent"
                            border.width: 0.5
                            border.color: BRPalette.border
                        }
                        onClicked: {
                            root.vm.chooseWordCount(modelData)
                            root.clearWords()
                        }
                    }
                }
            }
            GridLayout {
                Layout.fillWidth: true
                Layout.leftMargin: 56
                Layout.rightMargin: 56
                columns: 3
                columnSpacing: 8
                rowSpacing: 8
                Repeater {
                    id: wordFields
                    model: root.vm.wordCount
                    delegate: RowLayout {
                        required property int index
                        property alias field: wordField
                        Layout.fillWidth: true
                        Layout.minimumWidth: 10
                        Layout.preferredWidth: 10
                        spacing: 4
                        Text {
                            textFormat: Text.PlainText
                            Layout.preferredWidth: 24
                            horizontalAlignment: Text.AlignRight
                            text: (index + 1) + "."
                            font: BRFont.caption2
                            color: BRPalette.textTertiary
                        }
                        InputField {
                            id: wordField
                            objectName: "importWordField" + index
                            Accessible.name: "Word " + (index + 1)
                            Layout.fillWidth: true
                            maximumWidth: 10
                            padding: 6
                            cornerRadius: 4
                            placeholderText: "word"
                            font: BRFont.mono
                            onTextEdited: {
                                const words = text.split(/\s+/).filter(word => word.length > 0)
                                root.vm.setImportWord(index, text)
                                // The model spreads the words the same way; the fields show
                                // what was typed, never a word read back from the model.
                                if (words.length >= 2)
                                    root.spreadWords(index, words)
                                // Several words spread over the next fields: typing goes on
                                // after the last one written, so a phrase typed or pasted
                                // word by word fills the fields in order.
                                if (words.length >= 2)
                                    root.focusWord(Math.min(index + words.length, root.vm.wordCount) - 1)
                            }
                        }
                    }
                }
            }
            PasswordPairFields {
                Layout.alignment: Qt.AlignHCenter
                vm: root.vm
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
                    objectName: "importButton"
                    text: "Import"
                    enabled: !root.vm.isCreating && root.vm.isPasswordValid
                    onClicked: root.vm.submitImport()
                    // Beside the button, outside the row: the centred buttons keep their place.
                    BRBusyIndicator {
                        objectName: "importingIndicator"
                        x: parent.width + 12
                        y: (parent.height - height) / 2
                        width: 20
                        height: 20
                        visible: root.vm.isCreating
                        running: visible
                    }
                }
            }
            Item { implicitHeight: 24 }
        }
    }
}
