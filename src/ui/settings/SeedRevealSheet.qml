import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// "Recovery Phrase": asks for the wallet password, then shows the stored phrase as a
// numbered grid. The words stay in the sheet's model (drawn by SecretWordText, never held in
// a QML string); closing the sheet wipes them and the typed password, and the next opening
// starts again at the password step.
BRSheet {
    id: root
    objectName: "SeedRevealSheet"
    width: 480
    height: 500

    onAboutToHide: if (content.item) content.item.model.clear()

    contentItem: Loader {
        id: content
        active: root.visible
        sourceComponent: Component {
            ColumnLayout {
                property alias model: reveal
                spacing: 24

                SeedRevealViewModel {
                    id: reveal
                    objectName: "seedRevealViewModel"
                    appState: WalletShell.appState
                }

                SettingsSheetTitle {
                    Layout.fillWidth: true
                    Layout.topMargin: 24
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
                    title: "Recovery Phrase"
                    onCloseRequested: root.close()
                }

                // Password step
                ColumnLayout {
                    objectName: "passwordStep"
                    visible: !reveal.isRevealed
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
                    Layout.bottomMargin: 24
                    spacing: 16
                    BRSymbol {
                        Layout.alignment: Qt.AlignHCenter
                        name: "lock.shield"
                        size: 40
                        font.weight: Font.Thin
                        color: BRPalette.warning
                    }
                    Text {
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        text: "Enter your password to reveal your seed phrase."
                        font: BRFont.callout
                        color: BRPalette.textSecondary
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                    }
                    Text {
                        textFormat: Text.PlainText
                        Layout.alignment: Qt.AlignHCenter
                        text: "Never share your seed phrase with anyone."
                        font: BRFont.caption2
                        color: BRPalette.error
                    }
                    PasswordField {
                        id: passwordField
                        Layout.fillWidth: true
                        accessibleName: "Enter your password to reveal your seed phrase."
                        entry: reveal.entry
                        fieldName: "revealPasswordField"
                        errorName: "revealError"
                        spacing: 16
                        // Return runs the action even with an empty field.
                        onAccepted: reveal.reveal()
                        Component.onCompleted: focusField()
                    }
                    Item { Layout.fillHeight: true }
                    BRPrimaryButton {
                        objectName: "revealSeedButton"
                        Layout.alignment: Qt.AlignHCenter
                        text: "Reveal Seed"
                        enabled: reveal.hasPassword && !reveal.isRevealing
                        onClicked: reveal.reveal()
                    }
                }

                // Words step
                ColumnLayout {
                    objectName: "wordsStep"
                    visible: reveal.isRevealed
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
                    Layout.bottomMargin: 24
                    spacing: 16
                    Rectangle {
                        Layout.fillWidth: true
                        implicitHeight: banner.implicitHeight + 16
                        radius: 6
                        color: Qt.rgba(BRPalette.warning.r, BRPalette.warning.g, BRPalette.warning.b, 0.08)
                        RowLayout {
                            id: banner
                            anchors.fill: parent
                            anchors.margins: 8
                            spacing: 8
                            BRSymbol {
                                name: "exclamationmark.triangle.fill"
                                size: 12
                                color: BRPalette.warning
                            }
                            Text {
                                textFormat: Text.PlainText
                                Layout.fillWidth: true
                                text: "Keep this secret! Anyone with these words can access your funds."
                                font: BRFont.caption2
                                color: BRPalette.warning
                                wrapMode: Text.Wrap
                            }
                        }
                    }
                    GridLayout {
                        objectName: "wordGrid"
                        Layout.fillWidth: true
                        columns: 3
                        columnSpacing: 8
                        rowSpacing: 8
                        Repeater {
                            model: reveal.wordCount
                            delegate: Rectangle {
                                id: cell
                                objectName: "wordCell_" + (index + 1)
                                readonly property string number: (index + 1) + "."
                                Layout.fillWidth: true
                                Layout.preferredWidth: 1
                                implicitHeight: cellRow.implicitHeight + 8
                                radius: 4
                                color: BRPalette.surface
                                RowLayout {
                                    id: cellRow
                                    anchors.fill: parent
                                    anchors.leftMargin: 6
                                    anchors.rightMargin: 6
                                    spacing: 4
                                    Text {
                                        textFormat: Text.PlainText
                                        Layout.preferredWidth: 22
                                        text: cell.number
                                        font: BRFont.caption2
                                        color: BRPalette.textTertiary
                                        horizontalAlignment: Text.AlignRight
                                    }
                                    SecretWordText {
                                        objectName: "word"
                                        source: reveal
                                        index: model.index
                                        font: BRFont.mono
                                        color: BRPalette.textPrimary
                                    }
                                    Item { Layout.fillWidth: true }
                                }
                            }
                        }
                    }
                    Item { Layout.fillHeight: true }
                    ClipboardNote {
                        Layout.alignment: Qt.AlignHCenter
                    }
                    RowLayout {
                        Layout.alignment: Qt.AlignHCenter
                        spacing: 12
                        BRSecondaryButton {
                            id: copyButton
                            objectName: "copyAllButton"
                            text: reveal.copied ? "Copied!" : "Copy All"
                            contentItem: Row {
                                spacing: 6
                                BRSymbol {
                                    anchors.verticalCenter: parent.verticalCenter
                                    name: reveal.copied ? "checkmark" : "doc.on.doc"
                                    size: 13
                                    color: BRPalette.textPrimary
                                }
                                Text {
                                    textFormat: Text.PlainText
                                    anchors.verticalCenter: parent.verticalCenter
                                    text: copyButton.text
                                    font: copyButton.font
                                    color: BRPalette.textPrimary
                                }
                            }
                            onClicked: reveal.copyAll()
                        }
                        BRPrimaryButton {
                            objectName: "revealDoneButton"
                            text: "Done"
                            onClicked: root.close()
                        }
                    }
                }
            }
        }
    }
}
