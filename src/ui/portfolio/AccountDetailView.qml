import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The selected account's screen, one scrolling list: the chain disc, the native balance and
// the address; Send, Swap (not on Bitcoin) and Receive; on Bitcoin the tabs between this
// content and the address list; the price card, the quick-swap chips (Arbitrum), the tokens
// (EVM chains) and the history. A token opens its own screen in place of this one.
Rectangle {
    id: root
    objectName: "accountDetailView"
    readonly property alias detail: detail
    readonly property alias walletVM: walletVM
    // The Bitcoin tab, "Portfolio" or "Indirizzi"; kept while the sidebar switches accounts.
    property string btcTab: "Portfolio"
    readonly property bool showsAddresses: detail.isBitcoin && btcTab === "Indirizzi"

    color: BRPalette.background

    AccountDetailModel { id: detail }
    WalletViewModel { id: walletVM }
    RefreshShortcut { model: walletVM }

    Loader {
        id: content
        objectName: "accountContent"
        anchors.fill: parent
        sourceComponent: !detail.hasAccount ? noAccount
                       : detail.tokenDetail ? tokenScreen : accountScreen
    }

    Component {
        id: noAccount
        Item {
            Column {
                anchors.centerIn: parent
                spacing: 12
                BRSymbol {
                    anchors.horizontalCenter: parent.horizontalCenter
                    name: "wallet.bifold"
                    size: 40
                    color: BRPalette.textTertiary
                }
                Text {
                    text: "Select an account"
                    textFormat: Text.PlainText
                    font: BRFont.callout
                    color: BRPalette.textSecondary
                }
            }
        }
    }

    Component {
        id: tokenScreen
        TokenDetailView {
            token: detail.tokenDetail
            onBack: detail.closeTokenDetail()
        }
    }

    Component {
        id: accountScreen
        TransactionListView {
            id: list
            objectName: "accountHistory"
            history.accountId: detail.accountId
            history.nativeOnly: detail.isEVM
            showsHistory: !root.showsAddresses
            screenHeader: ColumnLayout {
                spacing: 0

                // Header
                ColumnLayout {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.topMargin: 32
                    Layout.bottomMargin: 24
                    spacing: 12
                    ChainDiscIcon {
                        Layout.alignment: Qt.AlignHCenter
                        chain: detail.chain
                        size: 52
                    }
                    Item {
                        Layout.alignment: Qt.AlignHCenter
                        implicitWidth: balance.implicitWidth
                        implicitHeight: balance.implicitHeight
                        BRGlow {
                            anchors.fill: balance
                            source: balance
                            glowColor: BRPalette.accent
                            glowOpacity: 0.1
                            radius: 8
                        }
                        Text {
                            id: balance
                            objectName: "accountBalance"
                            text: detail.balanceText
                            textFormat: Text.PlainText
                            font: BRFont.largeTitle
                            color: BRPalette.textPrimary
                        }
                    }
                    // The balance above is unknown, or the last known one.
                    Text {
                        objectName: "accountBalanceNote"
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                        Layout.alignment: Qt.AlignHCenter
                        visible: text !== ""
                        text: detail.balanceNote
                        textFormat: Text.PlainText
                        font: BRFont.caption2
                        color: BRPalette.textTertiary
                    }
                    AddressLabel {
                        objectName: "accountAddress"
                        Layout.alignment: Qt.AlignHCenter
                        address: detail.address
                        truncate: true
                    }
                }

                // Actions
                RowLayout {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.bottomMargin: 24
                    spacing: 16
                    BRPrimaryButton {
                        id: send
                        objectName: "accountSend"
                        text: "Send"
                        onClicked: root.openSend()
                        contentItem: ActionLabel {
                            symbol: "arrow.up.right"
                            text: send.text
                            font: send.font
                            color: BRPalette.accent
                        }
                    }
                    BRSecondaryButton {
                        id: swap
                        objectName: "accountSwap"
                        visible: !detail.isBitcoin
                        text: "Swap"
                        onClicked: root.openSwap()
                        contentItem: ActionLabel {
                            symbol: "arrow.triangle.swap"
                            text: swap.text
                            font: swap.font
                        }
                    }
                    BRSecondaryButton {
                        id: receive
                        objectName: "accountReceive"
                        text: "Receive"
                        onClicked: root.openReceive()
                        contentItem: ActionLabel {
                            symbol: "arrow.down.left"
                            text: receive.text
                            font: receive.font
                        }
                    }
                }

                BitcoinTabs {
                    objectName: "btcTabs"
                    visible: detail.isBitcoin
                    Layout.alignment: Qt.AlignHCenter
                    Layout.preferredWidth: 240
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
                    Layout.bottomMargin: 16
                    current: root.btcTab
                    onPicked: tab => root.btcTab = tab
                }

                Loader {
                    objectName: "btcAddresses"
                    Layout.fillWidth: true
                    active: root.showsAddresses
                    visible: active
                    sourceComponent: BTCAddressListView {}
                }

                PriceChartView {
                    visible: !root.showsAddresses
                    Layout.fillWidth: true
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
                    chain: detail.chain
                }

                ColumnLayout {
                    objectName: "quickSwap"
                    visible: detail.isArbitrum
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
                    Layout.topMargin: 12
                    Layout.bottomMargin: 12
                    spacing: 8
                    Text {
                        text: "Quick Swap"
                        textFormat: Text.PlainText
                        font: BRFont.label
                        color: BRPalette.textTertiary
                    }
                    Row {
                        spacing: 8
                        QuickSwapChip {
                            symbol: "USDC"
                            chipColor: Qt.rgba(39 / 255, 117 / 255, 202 / 255, 1)
                            onClicked: root.openSwap()
                        }
                        QuickSwapChip {
                            symbol: "ETH"
                            chipColor: BRPalette.arbitrum
                            onClicked: root.openSwap()
                        }
                        QuickSwapChip {
                            symbol: "NOVR"
                            chipColor: Qt.rgba(153 / 255, 69 / 255, 255 / 255, 1)
                            onClicked: novrSwapSheet.open()
                        }
                    }
                }

                Divider { visible: !root.showsAddresses; Layout.topMargin: detail.isArbitrum ? 0 : 16 }

                TokensSection {
                    visible: detail.isEVM
                    Layout.fillWidth: true
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
                    Layout.topMargin: 16
                    Layout.bottomMargin: 24
                    tokens: detail.tokens
                    onAddRequested: addTokenSheet.open()
                    onTokenPicked: row => detail.selectToken(row)
                }

                Divider { visible: detail.isEVM }
            }
        }
    }

    component Divider: Rectangle {
        Layout.fillWidth: true
        Layout.leftMargin: 24
        Layout.rightMargin: 24
        implicitHeight: 0.5
        color: BRPalette.border
    }

    // Sheet actions, reading the selected account when they open.
    function openSend() {
        sendSheet.chain = detail.chain
        sendSheet.preselectedToken = null
        sendSheet.open()
    }
    function openSwap() {
        swapSheet.chain = detail.chain
        swapSheet.open()
    }
    function openReceive() {
        receiveSheet.chain = detail.chain
        receiveSheet.address = detail.address
        receiveSheet.open()
    }

    SendSheetHost { id: sendSheet }
    ReceiveSheetHost { id: receiveSheet }
    SwapSheetHost { id: swapSheet }
    NOVRSwapSheetHost { id: novrSwapSheet }
    BRSheet {
        id: addTokenSheet
        objectName: "addTokenSheet"
        width: 420
        height: 440
        // A new view and model for each opening: closing the sheet forgets what was typed.
        contentItem: Loader {
            id: addToken
            active: addTokenSheet.visible
            sourceComponent: AddTokenView {
                chain: detail.chain
                onCloseRequested: addTokenSheet.close()
            }
            onLoaded: item.focusField()
        }
        leftPadding: 24
        rightPadding: 24
        topPadding: 24
        bottomPadding: 24
    }
}
