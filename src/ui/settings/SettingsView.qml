import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The settings sheet: a title row, the Network / Security / Appearance tabs and the selected
// tab's screen in a scrolling area. Every opening starts on Network, and each tab's screen is
// built anew when it is selected (anything typed but not applied is dropped).
BRSheet {
    id: root
    objectName: "SettingsView"
    width: 560
    height: 580
    // 0 Network, 1 Security, 2 Appearance (anything else shows Appearance).
    property int selectedTab: 0
    readonly property var tabs: [
        { tag: 0, symbol: "network", title: "Network" },
        { tag: 1, symbol: "lock.shield", title: "Security" },
        { tag: 2, symbol: "paintbrush", title: "Appearance" }
    ]

    onAboutToShow: selectedTab = 0

    contentItem: Loader {
        active: root.visible
        sourceComponent: Component {
            ColumnLayout {
                spacing: 0

                SettingsSheetTitle {
                    Layout.fillWidth: true
                    Layout.leftMargin: 16
                    Layout.rightMargin: 16
                    Layout.topMargin: 16
                    Layout.bottomMargin: 8
                    title: "Settings"
                    onCloseRequested: root.close()
                }

                Row {
                    objectName: "settingsTabBar"
                    Layout.leftMargin: 16
                    Layout.rightMargin: 16
                    Layout.bottomMargin: 8
                    spacing: 0
                    Repeater {
                        model: root.tabs
                        // Tab buttons, so a screen reader hears page tabs; the selection is the
                        // sheet's, not the buttons' own checked state.
                        delegate: TabButton {
                            id: tabButton
                            checkable: false
                            objectName: "settingsTab_" + modelData.title
                            FocusRing { controlRadius: 6 }
                            readonly property bool isSelected: root.selectedTab === modelData.tag
                            Accessible.name: modelData.title
                            Accessible.selected: isSelected
                            leftPadding: 12
                            rightPadding: 12
                            topPadding: 4
                            bottomPadding: 4
                            onClicked: root.selectedTab = modelData.tag
                            contentItem: Row {
                                spacing: 6
                                BRSymbol {
                                    anchors.verticalCenter: parent.verticalCenter
                                    name: modelData.symbol
                                    size: 12
                                    font.weight: Font.Medium
                                    color: tabButton.isSelected ? BRPalette.accent : BRPalette.textTertiary
                                }
                                Text {
                                    textFormat: Text.PlainText
                                    anchors.verticalCenter: parent.verticalCenter
                                    text: modelData.title
                                    font: BRFont.label
                                    color: tabButton.isSelected ? BRPalette.accent : BRPalette.textTertiary
                                }
                            }
                            background: Rectangle {
                                radius: 6
                                color: tabButton.isSelected
                                       ? Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.1)
                                       : "transparent"
                            }
                        }
                    }
                }

                Rectangle {
                    Layout.fillWidth: true
                    implicitHeight: 0.5
                    color: BRPalette.border
                }

                ScrollView {
                    id: scroll
                    objectName: "settingsScroll"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    contentWidth: availableWidth
                    clip: true
                    // The bar stays on screen while the content overflows: the cue that more is below.
                    ScrollBar.vertical.policy: scroll.contentHeight > scroll.availableHeight
                                              ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded

                    Loader {
                        objectName: "settingsTabLoader"
                        width: scroll.availableWidth
                        sourceComponent: root.selectedTab === 0 ? networkTab
                                       : root.selectedTab === 1 ? securityTab : appearanceTab
                    }
                }
            }
        }
    }

    Component { id: networkTab; NetworkSettingsView {} }
    Component { id: securityTab; SecuritySettingsView {} }
    Component { id: appearanceTab; AppearanceSettingsView {} }
}
