import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The Appearance tab: one card per theme, each with a miniature window in that theme's own
// colours; choosing a card switches the whole window to the theme, which is kept for the
// next start.
ColumnLayout {
    id: root
    objectName: "appearanceSettingsView"
    property alias model: appearance
    spacing: 24

    AppearanceSettingsViewModel {
        id: appearance
        objectName: "appearanceSettingsViewModel"
    }

    ColumnLayout {
        Layout.topMargin: 24
        Layout.leftMargin: 24
        spacing: 4
        Text {
            textFormat: Text.PlainText
            text: "Theme"
            font: BRFont.body
            color: BRPalette.textPrimary
        }
        Text {
            textFormat: Text.PlainText
            text: "Choose the color palette for the app"
            font: BRFont.caption2
            color: BRPalette.textSecondary
        }
    }

    Row {
        Layout.leftMargin: 24
        Layout.bottomMargin: 24
        spacing: 16
        Repeater {
            model: appearance.themes
            delegate: AbstractButton {
                id: card
                objectName: "themeCard_" + modelData
                FocusRing { controlRadius: 10 }
                readonly property string theme: modelData
                readonly property bool isSelected: appearance.selectedTheme === modelData
                readonly property color accent: appearance.previewAccent(modelData)
                Accessible.name: modelData
                // Checked while it is the theme in use: a click's own toggle gives way to that.
                checkable: true
                checked: isSelected
                onToggled: checked = Qt.binding(() => isSelected)
                Accessible.checkable: true
                Accessible.checked: isSelected
                onClicked: appearance.selectTheme(modelData)

                contentItem: Column {
                    spacing: 12

                    // The miniature window.
                    Item {
                        width: 180
                        height: 100
                        BRGlow {
                            anchors.fill: base
                            source: base
                            glowColor: card.accent
                            glowOpacity: card.isSelected ? 0.3 : 0
                            radius: 8
                            Behavior on glowOpacity { NumberAnimation { duration: 300; easing.type: Easing.InOutQuad } }
                        }
                        Rectangle {
                            id: base
                            anchors.fill: parent
                            radius: 10
                            color: appearance.previewBackground(card.theme)
                        }
                        RowLayout {
                            anchors.fill: parent
                            anchors.margins: 8
                            spacing: 4
                            Rectangle {
                                Layout.preferredWidth: 40
                                Layout.fillHeight: true
                                radius: 3
                                color: appearance.previewSidebar(card.theme)
                                Rectangle {
                                    x: 3
                                    anchors.verticalCenter: parent.verticalCenter
                                    width: 2
                                    height: 12
                                    radius: 1
                                    color: card.accent
                                }
                            }
                            ColumnLayout {
                                Layout.fillWidth: true
                                Layout.fillHeight: true
                                spacing: 3
                                Rectangle {
                                    Layout.fillWidth: true
                                    implicitHeight: 8
                                    radius: 2
                                    color: Qt.rgba(card.accent.r, card.accent.g, card.accent.b, 0.3)
                                }
                                Rectangle {
                                    Layout.fillWidth: true
                                    implicitHeight: 5
                                    radius: 2
                                    readonly property color textColor: appearance.previewText(card.theme)
                                    color: Qt.rgba(textColor.r, textColor.g, textColor.b, 0.15)
                                }
                                Item { Layout.fillHeight: true }
                                Rectangle {
                                    Layout.fillWidth: true
                                    implicitHeight: 10
                                    radius: 3
                                    color: "transparent"
                                    border.width: 0.5
                                    border.color: Qt.rgba(card.accent.r, card.accent.g, card.accent.b, 0.5)
                                }
                            }
                        }
                        Rectangle {
                            anchors.fill: parent
                            radius: 10
                            color: "transparent"
                            border.width: card.isSelected ? 2 : 0.5
                            border.color: card.isSelected ? card.accent : BRPalette.border
                            Behavior on border.color { ColorAnimation { duration: 300; easing.type: Easing.InOutQuad } }
                        }
                    }

                    Row {
                        anchors.horizontalCenter: parent.horizontalCenter
                        spacing: 6
                        BRSymbol {
                            anchors.verticalCenter: parent.verticalCenter
                            name: appearance.symbolName(card.theme)
                            size: 12
                            color: card.accent
                        }
                        Text {
                            textFormat: Text.PlainText
                            anchors.verticalCenter: parent.verticalCenter
                            text: card.theme
                            font: BRFont.label
                            color: card.isSelected ? BRPalette.textPrimary : BRPalette.textSecondary
                        }
                    }

                    Item {
                        objectName: "selectionMark"
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: 16
                        height: 16
                        BRSymbol {
                            anchors.centerIn: parent
                            visible: card.isSelected
                            name: "checkmark.circle.fill"
                            size: 16
                            color: card.accent
                        }
                        Rectangle {
                            anchors.fill: parent
                            visible: !card.isSelected
                            radius: 8
                            color: "transparent"
                            border.width: 1
                            border.color: BRPalette.border
                        }
                    }
                }
                background: null
            }
        }
    }
}
