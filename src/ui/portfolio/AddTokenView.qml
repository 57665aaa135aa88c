import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// Adds a custom ERC-20 token on one chain: the contract address typed or pasted, the token's
// name, symbol and decimals looked up as soon as the text has an address's shape, then "Add"
// stores it and closes the sheet. A failed lookup or a token file that cannot be written shows
// its message under the field and the sheet stays.
ColumnLayout {
    id: root
    objectName: "addTokenView"
    property alias chain: model.chain
    readonly property alias model: model
    signal closeRequested()

    spacing: 24

    AddTokenViewModel {
        id: model
        onAdded: root.closeRequested()
    }

    // The sheet opens with the keyboard in the address field.
    function focusField() { field.forceActiveFocus() }

    component InfoRow: RowLayout {
        property string label: ""
        property string value: ""
        Layout.fillWidth: true
        Text {
            text: parent.label
            textFormat: Text.PlainText
            font: BRFont.caption
            color: BRPalette.textTertiary
        }
        Item { Layout.fillWidth: true }
        Text {
            objectName: "info" + parent.label
            Layout.maximumWidth: 260
            text: parent.value
            textFormat: Text.PlainText
            font: BRFont.monoMedium
            color: BRPalette.textPrimary
            elide: Text.ElideRight
        }
    }

    SheetHeader {
        Layout.fillWidth: true
        title: "Add Token"
        onCloseRequested: root.closeRequested()
    }
    Text {
        objectName: "addTokenChain"
        Layout.topMargin: -16
        text: model.chainLabel
        textFormat: Text.PlainText
        font: BRFont.caption
        color: BRPalette.textSecondary
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 4
        Text {
            text: "Contract Address"
            textFormat: Text.PlainText
            font: BRFont.label
            color: BRPalette.textSecondary
        }
        InputField {
            id: field
            objectName: "contractAddressField"
            Accessible.name: "Contract Address"
            Layout.fillWidth: true
            placeholderText: "0x..."
            font: BRFont.mono
            showsError: model.errorMessage !== ""
            text: model.contractAddress
            onTextEdited: model.contractAddress = text
        }
    }
    RowLayout {
        objectName: "addTokenResolving"
        visible: model.isResolving
        spacing: 8
        BRBusyIndicator { running: model.isResolving }
        Text {
            text: "Detecting token..."
            textFormat: Text.PlainText
            font: BRFont.caption2
            color: BRPalette.textSecondary
        }
    }
    BRSurface {
        objectName: "addTokenPreview"
        Layout.fillWidth: true
        visible: !model.isResolving && model.hasResolvedToken
        elevated: true
        padding: 16
        implicitHeight: preview.implicitHeight + 2 * padding
        ColumnLayout {
            id: preview
            width: parent.width
            spacing: 8
            InfoRow { label: "Name"; value: model.resolvedName }
            InfoRow { label: "Symbol"; value: model.resolvedSymbol }
            InfoRow { label: "Decimals"; value: model.resolvedDecimals }
        }
    }
    Text {
        objectName: "addTokenError"
        Layout.fillWidth: true
        visible: model.errorMessage !== ""
        text: model.errorMessage
        textFormat: Text.PlainText
        font: BRFont.caption2
        color: BRPalette.error
        wrapMode: Text.Wrap
    }
    Item { Layout.fillHeight: true }
    BRPrimaryButton {
        id: addButton
        objectName: "addTokenButton"
        Layout.alignment: Qt.AlignHCenter
        enabled: model.canAdd
        text: model.addButtonText
        onClicked: model.addToken()
        contentItem: ActionLabel {
            symbol: "plus.circle.fill"
            text: addButton.text
            font: addButton.font
            color: BRPalette.accent
        }
    }
}
