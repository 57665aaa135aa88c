import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The sheet in which the user chooses one side's token: a search over symbol and address, and
// the offered tokens with the side's current one marked. Choosing a row reports it through
// picked() and closes the sheet; the search starts empty at every opening.
BRSheet {
    id: root
    objectName: "swapTokenPicker"
    // Maps {symbol, address, decimals, isNative} in display order, and the side's token.
    property var tokens: []
    property var selectedToken: null
    property int chain: 0
    signal picked(var token)

    width: 380
    height: 440
    onAboutToShow: search.text = ""

    contentItem: ColumnLayout {
        spacing: 0

        SettingsSheetTitle {
            Layout.fillWidth: true
            Layout.margins: 16
            title: "Select Token"
            onCloseRequested: root.close()
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            Layout.bottomMargin: 12
            implicitHeight: searchRow.implicitHeight + 16
            radius: 6
            color: BRPalette.surface
            border.width: 0.5
            border.color: BRPalette.border
            RowLayout {
                id: searchRow
                anchors.fill: parent
                anchors.margins: 8
                spacing: 8
                BRSymbol {
                    name: "magnifyingglass"
                    size: 14
                    color: BRPalette.textTertiary
                }
                TextField {
                    id: search
                    objectName: "tokenSearch"
                    FocusRing { controlRadius: 4 }
                    Accessible.name: "Search token"
                    Layout.fillWidth: true
                    placeholderText: "Search token..."
                    placeholderTextColor: BRPalette.textTertiary
                    font: BRFont.callout
                    color: BRPalette.textPrimary
                    selectByMouse: true
                    inputMethodHints: Qt.ImhNoPredictiveText
                    padding: 0
                    background: null
                    focus: true
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 0.5
            color: BRPalette.border
        }

        ListView {
            id: list
            objectName: "tokenList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}
            model: SwapTokenListModel {
                id: rows
                tokens: root.tokens
                selectedToken: root.selectedToken
                searchText: search.text
            }
            delegate: BRHoverEffect {
                id: row
                required property int index
                required property string symbol
                required property bool isNative
                required property string detail
                required property bool isSelected
                objectName: "tokenRow_" + symbol
                width: ListView.view.width
                hoverScale: 1.01
                glowColor: BRPalette.accent
                implicitHeight: button.implicitHeight + 8

                AbstractButton {
                    id: button
                    objectName: "tokenRowButton"
                    FocusRing { outset: 0 }
                    Accessible.name: row.symbol
                    x: 4
                    y: 4
                    width: row.width - 8
                    leftPadding: 16
                    rightPadding: 16
                    topPadding: 8
                    bottomPadding: 8
                    onClicked: {
                        root.picked(rows.token(row.index))
                        root.close()
                    }
                    background: Item {}
                    contentItem: RowLayout {
                        spacing: 12
                        SwapTokenIcon {
                            symbol: row.symbol
                            isNative: row.isNative
                            chain: root.chain
                            size: 32
                        }
                        ColumnLayout {
                            spacing: 2
                            Layout.fillWidth: true
                            Text {
                                objectName: "tokenSymbol"
                                Layout.fillWidth: true
                                text: row.symbol
                                textFormat: Text.PlainText
                                elide: Text.ElideRight
                                font: BRFont.body
                                color: BRPalette.textPrimary
                            }
                            Text {
                                objectName: "tokenDetail"
                                text: row.detail
                                textFormat: Text.PlainText
                                font: row.isNative ? BRFont.caption2 : BRFont.monoSmall
                                color: BRPalette.textTertiary
                            }
                        }
                        BRSymbol {
                            objectName: "tokenSelectedMark"
                            visible: row.isSelected
                            name: "checkmark.circle.fill"
                            size: 15
                            color: BRPalette.accent
                        }
                    }
                }
            }
        }
    }
}
