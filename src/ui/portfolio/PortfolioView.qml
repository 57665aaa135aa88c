import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The wallet's overview: the total value, Send and Receive, and every account and token
// holding grouped by chain. Everything comes from the state through the list model; a
// background refresh updates the rows that changed.
Rectangle {
    id: root
    objectName: "portfolioView"
    color: BRPalette.background
    readonly property alias portfolio: portfolio
    readonly property alias walletVM: walletVM

    WalletViewModel { id: walletVM }
    PortfolioModel { id: portfolio }

    // The declared refresh action: F5, or the Refresh button of the header.
    RefreshShortcut { model: walletVM }

    ListView {
        id: list
        objectName: "portfolioList"
        anchors.fill: parent
        anchors.leftMargin: 24
        anchors.rightMargin: 24
        spacing: 4
        model: portfolio
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
        footer: Item { height: 48 }
        // Whether the user has moved the list away from its top.
        property bool scrolledAway: false
        onMovementEnded: scrolledAway = !atYBeginning

        header: ColumnLayout {
            width: list.width
            spacing: 32
            // The total's note comes and goes as balances load: a list the user has not moved
            // stays at its top, the total in its place.
            onHeightChanged: if (!list.scrolledAway) Qt.callLater(list.positionViewAtBeginning)

            ColumnLayout {
                Layout.alignment: Qt.AlignHCenter
                Layout.topMargin: 48
                Layout.bottomMargin: 16
                spacing: 8
                Text {
                    textFormat: Text.PlainText
                    Layout.alignment: Qt.AlignHCenter
                    text: "Total Balance"
                    font.family: BRFont.family
                    font.pixelSize: 10
                    font.weight: Font.Medium
                    font.letterSpacing: 2
                    font.capitalization: Font.AllUppercase
                    color: BRPalette.textTertiary
                }
                // A changing total counts up digit by digit.
                BRGlowText {
                    Layout.alignment: Qt.AlignHCenter
                    glowColor: BRPalette.accent
                    radius: 8
                    NumericText {
                        objectName: "portfolioTotal"
                        text: portfolio.totalText
                        font: BRFont.display
                        color: BRPalette.textPrimary
                    }
                }
                // The total leaves out the balances not known yet.
                Text {
                    objectName: "portfolioTotalNote"
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    Layout.alignment: Qt.AlignHCenter
                    visible: text !== ""
                    text: portfolio.totalNote
                    textFormat: Text.PlainText
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
            }

            RowLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 16
                BRPrimaryButton {
                    id: send
                    objectName: "portfolioSend"
                    text: "Send"
                    // Sending starts from an account's screen: open the first one.
                    onClicked: portfolio.openFirstAccount()
                    contentItem: Row {
                        spacing: 6
                        BRSymbol {
                            name: "arrow.up.right"
                            size: 13
                            color: BRPalette.accent
                            anchors.verticalCenter: parent.verticalCenter
                        }
                        Text {
                            textFormat: Text.PlainText
                            text: send.text
                            font: send.font
                            color: BRPalette.accent
                        }
                    }
                }
                BRSecondaryButton {
                    id: receive
                    objectName: "portfolioReceive"
                    text: "Receive"
                    onClicked: portfolio.openFirstAccount()
                    contentItem: Row {
                        spacing: 6
                        BRSymbol {
                            name: "arrow.down.left"
                            size: 13
                            anchors.verticalCenter: parent.verticalCenter
                        }
                        Text {
                            textFormat: Text.PlainText
                            text: receive.text
                            font: receive.font
                            color: BRPalette.textPrimary
                        }
                    }
                }
                BRSecondaryButton {
                    objectName: "portfolioRefresh"
                    text: walletVM.isRefreshing ? "Refreshing..." : "Refresh"
                    enabled: !walletVM.isRefreshing
                    onClicked: walletVM.startRefresh()
                }
            }

            RowLayout {
                Layout.fillWidth: true
                Layout.leftMargin: 4
                Layout.rightMargin: 4
                Layout.bottomMargin: 12 - list.spacing
                Text {
                    textFormat: Text.PlainText
                    text: "Assets"
                    font: BRFont.headline
                    color: BRPalette.textPrimary
                }
                Item { Layout.fillWidth: true }
                Rectangle {
                    implicitWidth: badge.implicitWidth + 16
                    implicitHeight: badge.implicitHeight + 8
                    radius: height / 2
                    color: BRPalette.surface
                    Text {
                        textFormat: Text.PlainText
                        id: badge
                        objectName: "portfolioAssetCount"
                        anchors.centerIn: parent
                        text: portfolio.assetCount
                        font: BRFont.label
                        color: BRPalette.textTertiary
                    }
                }
            }
        }

        delegate: Loader {
            id: row
            required property int index
            required property string kind
            required property int chain
            required property string key
            required property string name
            required property string symbol
            required property string balance
            required property string fiat

            objectName: "portfolioRow_" + key
            width: ListView.view.width
            sourceComponent: kind === "header" ? headerRow
                           : kind === "account" ? assetRow : tokenRow

            // A chain's header: 8 points above it, and the 12 between two chain groups (the
            // list's own spacing is the 4 between the rows of one group).
            Component {
                id: headerRow
                RowLayout {
                    readonly property real gap: 8 + (row.index > 0 ? 12 - list.spacing : 0)
                    spacing: 8
                    Item { width: 4 }
                    ChainDiscIcon {
                        objectName: "chainHeaderDisc"
                        Layout.topMargin: parent.gap
                        chain: row.chain
                        size: 20
                    }
                    Text {
                        textFormat: Text.PlainText
                        Layout.topMargin: parent.gap
                        text: row.name
                        font.family: BRFont.family
                        font.pixelSize: 11
                        font.weight: Font.Medium
                        font.letterSpacing: 1.5
                        font.capitalization: Font.AllUppercase
                        color: BRPalette.textTertiary
                    }
                    Item { Layout.fillWidth: true }
                    Text {
                        objectName: "chainTotal"
                        Layout.topMargin: parent.gap
                        visible: row.fiat !== ""
                        text: row.fiat
                        textFormat: Text.PlainText
                        font: BRFont.label
                        color: BRPalette.textSecondary
                    }
                    Item { width: 4 }
                }
            }
            Component {
                id: assetRow
                AssetRow {
                    chain: row.chain
                    balance: row.balance
                    fiatBalance: row.fiat
                }
            }
            Component {
                id: tokenRow
                TokenCard {
                    showsChevron: false
                    valueColor: BRPalette.textSecondary
                    name: row.name
                    symbol: row.symbol
                    amountText: row.balance
                    valueText: row.fiat
                }
            }
        }
    }
}
