import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// One history entry as a card: direction or token disc, title over counterparty and age,
// signed amount over the status. The texts come finished from the list model; a click
// reports `clicked`, the list opens the detail.
BRHoverEffect {
    id: root
    property string title: ""
    property string counterparty: ""
    property bool hasTimestamp: false
    property double timestamp: 0
    property string amountText: ""
    property bool isReceived: false
    property bool isToken: false
    property string tokenSymbol: ""
    property string status: "pending"
    property string statusText: ""
    readonly property color directionColor: isReceived ? BRPalette.success : BRPalette.error
    readonly property color statusColor: status === "confirmed" ? BRPalette.success
                                       : status === "failed" ? BRPalette.error : BRPalette.warning
    signal clicked()

    hoverScale: 1.01
    glowColor: BRPalette.accent
    implicitHeight: card.implicitHeight
    // A screen reader presses it as a button, as the pointer does.
    Accessible.role: Accessible.Button
    Accessible.name: title + ", " + amountText + ", " + statusText
    Accessible.onPressAction: root.clicked()

    BRSurface {
        id: card
        width: root.width
        elevated: false
        padding: 12

        RowLayout {
            width: card.width - 2 * card.padding
            spacing: 12

            Loader {
                Layout.preferredWidth: 32
                Layout.preferredHeight: 32
                sourceComponent: root.isToken ? tokenDisc : directionDisc
            }
            ColumnLayout {
                Layout.fillWidth: true
                Layout.minimumWidth: 0
                spacing: 2
                Text {
                    objectName: "rowTitle"
                    Layout.fillWidth: true
                    text: root.title
                    textFormat: Text.PlainText
                    font: BRFont.body
                    color: BRPalette.textPrimary
                    elide: Text.ElideRight
                    maximumLineCount: 1
                }
                RowLayout {
                    spacing: 4
                    Text {
                        objectName: "rowCounterparty"
                        text: root.counterparty
                        textFormat: Text.PlainText
                        font: BRFont.monoSmall
                        color: BRPalette.textTertiary
                    }
                    Text {
                        objectName: "rowDot"
                        visible: root.hasTimestamp
                        text: "\u00b7"
                        textFormat: Text.PlainText
                        font: BRFont.caption2
                        color: BRPalette.textTertiary
                    }
                    Text {
                        objectName: "rowAge"
                        visible: root.hasTimestamp
                        text: root.hasTimestamp
                              ? RelativeClock.since(root.timestamp, RelativeClock.now) : ""
                        textFormat: Text.PlainText
                        font: BRFont.caption2
                        color: BRPalette.textTertiary
                    }
                }
            }
            ColumnLayout {
                spacing: 4
                Text {
                    objectName: "rowAmount"
                    Layout.alignment: Qt.AlignRight
                    text: root.amountText
                    textFormat: Text.PlainText
                    font: BRFont.monoMedium
                    color: root.directionColor
                }
                RowLayout {
                    Layout.alignment: Qt.AlignRight
                    spacing: 4
                    Rectangle {
                        objectName: "rowStatusDot"
                        width: 6
                        height: 6
                        radius: 3
                        color: root.statusColor
                    }
                    Text {
                        objectName: "rowStatus"
                        text: root.statusText
                        textFormat: Text.PlainText
                        font: BRFont.caption2
                        color: root.statusColor
                    }
                }
            }
        }
    }

    TapHandler { onTapped: root.clicked() }

    Component {
        id: tokenDisc
        TokenDiscIcon { symbol: root.tokenSymbol; size: 32 }
    }
    Component {
        id: directionDisc
        MetallicDiscIcon {
            systemName: root.isReceived ? "arrow.down.left" : "arrow.up.right"
            color: root.directionColor
            size: 32
        }
    }
}
