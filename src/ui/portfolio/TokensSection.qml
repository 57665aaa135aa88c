import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// An EVM account's tokens: "Tokens" with their count and "Add Token", then one row per
// holding (a click opens the token), or "No tokens found" (while the first load runs, that it
// is loading).
ColumnLayout {
    id: root
    objectName: "tokensSection"
    property AccountTokensModel tokens
    signal addRequested()
    signal tokenPicked(int row)

    spacing: 12

    RowLayout {
        Layout.fillWidth: true
        Text {
            text: "Tokens"
            textFormat: Text.PlainText
            font: BRFont.headline
            color: BRPalette.textPrimary
        }
        Rectangle {
            visible: root.tokens && root.tokens.count > 0
            implicitWidth: countLabel.implicitWidth + 16
            implicitHeight: countLabel.implicitHeight + 8
            radius: height / 2
            color: BRPalette.surface
            Text {
                id: countLabel
                objectName: "tokenCount"
                anchors.centerIn: parent
                text: root.tokens ? root.tokens.count : 0
                textFormat: Text.PlainText
                font: BRFont.label
                color: BRPalette.textTertiary
            }
        }
        Item { Layout.fillWidth: true }
        AbstractButton {
            objectName: "addTokenButton"
            FocusRing { controlRadius: 4 }
            Accessible.name: "Add Token"
            onClicked: root.addRequested()
            contentItem: ActionLabel {
                spacing: 4
                symbol: "plus.circle"
                symbolSize: 11
                text: "Add Token"
                font: BRFont.label
                color: BRPalette.accent
            }
        }
    }

    RowLayout {
        objectName: "tokensLoading"
        visible: root.tokens !== null && root.tokens.loading && root.tokens.count === 0
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: 16
        Layout.bottomMargin: 16
        spacing: 8
        BRBusyIndicator {
            objectName: "tokensBusy"
            running: parent.visible
        }
        Text {
            objectName: "tokensLoadingText"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            text: "Loading tokens..."
            textFormat: Text.PlainText
            font: BRFont.caption2
            color: BRPalette.textSecondary
        }
    }

    ColumnLayout {
        objectName: "noTokens"
        visible: !root.tokens || (root.tokens.count === 0 && !root.tokens.loading)
        Layout.fillWidth: true
        Layout.topMargin: 16
        Layout.bottomMargin: 16
        spacing: 4
        // The empty list's mark; a failed load has none (a dotted ring reads as busy).
        BRSymbol {
            objectName: "noTokensSymbol"
            visible: !root.tokens || !root.tokens.loadFailed
            Layout.alignment: Qt.AlignHCenter
            name: "circle.dotted"
            size: 24
            color: BRPalette.textTertiary
        }
        // Filling the width (its text centred in it): a nested layout with no filling child
        // keeps to its own width, and the placeholder would sit at the left.
        Text {
            objectName: "noTokensText"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            // A failed load is not an empty list.
            text: root.tokens && root.tokens.loadFailed ? "Could not load the tokens."
                                                         : "No tokens found"
            textFormat: Text.PlainText
            font: BRFont.caption2
            color: BRPalette.textTertiary
        }
    }

    // The rows below are the last known ones.
    Text {
        objectName: "tokensStale"
        Accessible.role: Accessible.StaticText
        Accessible.name: text
        visible: root.tokens && root.tokens.loadFailed && root.tokens.count > 0
        Layout.fillWidth: true
        text: "Could not load the tokens."
        textFormat: Text.PlainText
        font: BRFont.caption2
        color: BRPalette.textTertiary
        wrapMode: Text.Wrap
    }

    Repeater {
        model: root.tokens
        delegate: TokenRow {
            id: row
            required property var model
            required property int index
            objectName: "accountToken_" + model.tokenId
            Layout.fillWidth: true
            name: model.name
            symbol: model.symbol
            baseUnits: model.baseUnits
            decimals: model.decimals
            balanceFormatted: model.balanceFormatted
            priceUSD: model.priceUSD
            balanceKnown: model.balanceKnown
            Accessible.role: Accessible.Button
            Accessible.name: model.name
            Accessible.onPressAction: root.tokenPicked(row.index)
            TapHandler { onTapped: root.tokenPicked(row.index) }
        }
    }
}
