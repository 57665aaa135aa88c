import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The title row of the settings and recovery-phrase sheets: the title and the round close
// button on the right.
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
        FocusRing { controlRadius: 12 }
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
