import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// "Nova Crest": buy NOVR with USDC or sell it back, on Arbitrum. The NOVR amount is always the
// editable side; the USDC side, the floor price and a buy's maximum cost come from the view
// model, which quotes half a second after the last edit. "Review Swap" opens the confirmation.
ColumnLayout {
    id: root
    objectName: "novrSwapView"
    // The sheet's own view model: one per presentation.
    readonly property alias vm: model
    readonly property bool buying: model.direction === NOVRSwapViewModel.Buy
    readonly property color violet: Qt.rgba(153 / 255, 69 / 255, 1, 1)
    readonly property color lightViolet: Qt.rgba(192 / 255, 132 / 255, 252 / 255, 1)
    signal closeRequested()

    spacing: 24

    NOVRSwapViewModel {
        id: model
        objectName: "novrSwapViewModel"
        appState: WalletShell.appState
    }
    Component.onCompleted: model.scheduleQuote()

    // Header: title, the buy's slippage menu, close.
    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        Text {
            textFormat: Text.PlainText
            Accessible.role: Accessible.Heading
            text: "Nova Crest"
            font: BRFont.systemFont(22, Font.Medium)
            color: BRPalette.textPrimary
        }
        Item { Layout.fillWidth: true }
        AbstractButton {
            id: slippageButton
            objectName: "slippageButton"
            FocusRing { controlRadius: height / 2 }
            Accessible.name: "Slippage " + model.slippageText
            visible: root.buying
            implicitWidth: slippageLabel.implicitWidth + 16
            implicitHeight: slippageLabel.implicitHeight + 8
            background: Rectangle {
                radius: height / 2
                color: BRPalette.surface
            }
            contentItem: Item {
                RowLayout {
                    id: slippageLabel
                    anchors.centerIn: parent
                    spacing: 4
                    BRSymbol {
                        name: "gearshape"
                        size: 12
                        color: BRPalette.textSecondary
                    }
                    Text {
                        objectName: "slippageText"
                        textFormat: Text.PlainText
                        text: model.slippageText
                        font: BRFont.systemFont(11, Font.Medium)
                        color: BRPalette.textSecondary
                    }
                }
            }
            onClicked: slippageMenu.open()
            SlippageChoices {
                id: slippageMenu
                objectName: "slippageMenu"
                itemPrefix: "slippage"
                choices: [50, 100, 200, 300].map(bps => ({
                    value: bps,
                    text: bps % 100 === 0 ? (bps / 100) + "%" : (bps / 100).toFixed(1) + "%"
                }))
                current: model.slippageBps
                onChosen: value => model.slippageBps = value
            }
        }
        AbstractButton {
            objectName: "closeSaleButton"
            FocusRing { controlRadius: 4 }
            Accessible.name: "Close"
            implicitWidth: 24
            implicitHeight: 24
            contentItem: BRSymbol {
                name: "xmark.circle.fill"
                size: 17
                color: BRPalette.textTertiary
            }
            onClicked: root.closeRequested()
        }
    }

    // Direction picker.
    Row {
        objectName: "directionPicker"
        Layout.fillWidth: true
        Repeater {
            model: [{ label: "Buy NOVR", value: NOVRSwapViewModel.Buy },
                    { label: "Sell NOVR", value: NOVRSwapViewModel.Sell }]
            delegate: AbstractButton {
                id: segment
                required property var modelData
                readonly property bool selected: model.direction === modelData.value
                objectName: modelData.value === NOVRSwapViewModel.Buy ? "buySegment" : "sellSegment"
                Accessible.name: modelData.label
                width: root.width / 2
                height: 28
                contentItem: Text {
                    textFormat: Text.PlainText
                    text: segment.modelData.label
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
                onClicked: model.direction = modelData.value
            }
        }
    }

    // The order: what is paid above, what is received below; NOVR is always typed.
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 8
        NOVRAmountCard {
            objectName: root.buying ? "usdcCard" : "novrCard"
            Layout.fillWidth: true
            title: root.buying ? "You pay (USDC)" : "You sell (NOVR)"
            symbol: root.buying ? "USDC" : "NOVR"
            isEditable: !root.buying
            text: root.buying ? model.estimatedUSDCText : model.amountString
            onEdited: (text) => model.amountString = text
        }
        BRHoverEffect {
            Layout.alignment: Qt.AlignHCenter
            hoverScale: 1.1
            glowColor: root.violet
            AbstractButton {
                objectName: "flipButton"
                FocusRing { controlRadius: 18 }
                Accessible.name: "Flip"
                width: 36
                height: 36
                background: Rectangle {
                    radius: 18
                    color: BRPalette.surface
                    border.width: 0.5
                    border.color: BRPalette.border
                }
                contentItem: BRSymbol {
                    name: "arrow.up.arrow.down"
                    size: 14
                    font.weight: Font.DemiBold
                    color: root.lightViolet
                }
                onClicked: {
                    model.toggleDirection()
                    model.scheduleQuote()
                }
            }
        }
        NOVRAmountCard {
            objectName: root.buying ? "novrCard" : "usdcCard"
            Layout.fillWidth: true
            title: root.buying ? "You receive (NOVR)" : "You receive (USDC)"
            symbol: root.buying ? "NOVR" : "USDC"
            isEditable: root.buying
            text: root.buying ? model.amountString : model.estimatedUSDCText
            onEdited: (text) => model.amountString = text
        }
    }

    // Quote: its state, the floor price, a buy's maximum cost.
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 8
        RowLayout {
            objectName: "quoteStatus"
            visible: model.isQuoting || model.hasQuoteError
            spacing: 8
            BRBusyIndicator {
                visible: model.isQuoting
                running: visible
                Layout.preferredWidth: 14
                Layout.preferredHeight: 14
            }
            Text {
                objectName: "quoteStatusText"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                text: model.isQuoting ? "Fetching quote..." : model.quoteError
                wrapMode: Text.Wrap
                font: BRFont.systemFont(11, Font.Normal)
                color: model.isQuoting ? BRPalette.textTertiary : BRPalette.error
            }
        }
        NOVRQuoteRow {
            objectName: "floorPriceRow"
            label: "Floor Price"
            value: model.floorPriceText
        }
        NOVRQuoteRow {
            objectName: "maxCostRow"
            visible: root.buying && model.hasEstimatedCost
            label: "Max cost (" + model.slippageText + ")"
            value: model.maxCostText + " USDC"
        }
        // Why the buy or sale of these figures could not be prepared (too little to pay its
        // gas, a price the node refuses).
        Text {
            objectName: "prepareError"
            Layout.fillWidth: true
            visible: text.length > 0 && !model.showConfirmation
            textFormat: Text.PlainText
            text: model.prepareError
            wrapMode: Text.Wrap
            font: BRFont.systemFont(11, Font.Normal)
            color: BRPalette.error
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }

    Item { Layout.fillHeight: true }

    BRPrimaryButton {
        id: reviewButton
        objectName: "reviewSwapButton"
        Layout.alignment: Qt.AlignHCenter
        text: "Review Swap"
        enabled: model.canReview && !model.isPreparing
        // The model prepares the buy or sale; the confirmation opens when it is ready.
        onClicked: model.review()
        contentItem: Row {
            spacing: 6
            BRBusyIndicator {
                objectName: "preparingIndicator"
                visible: model.isPreparing
                running: visible
                anchors.verticalCenter: parent.verticalCenter
                implicitWidth: 13
                implicitHeight: 13
            }
            BRSymbol {
                visible: !model.isPreparing
                anchors.verticalCenter: parent.verticalCenter
                name: "arrow.triangle.swap"
                size: 13
                color: BRPalette.accent
            }
            Text {
                textFormat: Text.PlainText
                anchors.verticalCenter: parent.verticalCenter
                text: reviewButton.text
                font: reviewButton.font
                color: BRPalette.accent
            }
        }
    }
}
