import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The capsule that shows one side's token (its disc and symbol, or "Select") and opens that
// side's picker.
AbstractButton {
    id: root
    // {symbol, address, decimals, isNative}, or an empty map.
    property var token: ({})
    property int chain: 0
    readonly property bool hasToken: token !== null && token !== undefined
                                     && token.symbol !== undefined

    leftPadding: 8
    rightPadding: 8
    topPadding: 6
    bottomPadding: 6
    FocusRing { controlRadius: height / 2 }
    background: Rectangle {
        radius: height / 2
        color: BRPalette.surface
    }
    contentItem: RowLayout {
        spacing: 6
        SwapTokenIcon {
            objectName: "chipIcon"
            visible: root.hasToken
            symbol: root.hasToken ? root.token.symbol : ""
            isNative: root.hasToken && !!root.token.isNative
            chain: root.chain
            size: 28
        }
        Text {
            objectName: "chipText"
            textFormat: Text.PlainText
            text: root.hasToken ? root.token.symbol : "Select"
            font: BRFont.systemFont(15, Font.Medium)
            color: root.hasToken ? BRPalette.textPrimary : BRPalette.textTertiary
            elide: Text.ElideRight
            Layout.maximumWidth: 110
        }
        BRSymbol {
            name: "chevron.down"
            size: 10
            font.weight: Font.DemiBold
            color: BRPalette.textTertiary
        }
    }
}
