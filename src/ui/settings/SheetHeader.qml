import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// A sheet's title row with its round close button (Ctrl+Escape; plain Escape is the sheet's).
RowLayout {
    id: root
    property string title: ""
    signal closeRequested()

    Text {
        textFormat: Text.PlainText
        Accessible.role: Accessible.Heading
        text: root.title
        font: BRFont.title
        color: BRPalette.textPrimary
    }
    Item { Layout.fillWidth: true }
    AbstractButton {
        objectName: "closeSheetButton"
        FocusRing { controlRadius: 14 }
        Accessible.name: "Close"
        implicitWidth: 28
        implicitHeight: 28
        contentItem: BRSymbol {
            name: "xmark"
            size: 12
            font.weight: Font.DemiBold
            color: BRPalette.textTertiary
        }
        background: Rectangle { radius: 14; color: BRPalette.surface }
        onClicked: root.closeRequested()
    }
    Shortcut {
        sequence: "Ctrl+Escape"
        onActivated: root.closeRequested()
    }
}
