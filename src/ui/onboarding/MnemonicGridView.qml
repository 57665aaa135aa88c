import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// The recovery phrase as numbered cells in three columns, row by row in phrase order. The
// words are drawn from the flow's model by SecretWordText; no QML string ever holds one.
GridLayout {
    id: root
    required property OnboardingViewModel vm

    columns: 3
    columnSpacing: 8
    rowSpacing: 8

    Repeater {
        model: root.vm.mnemonicLength
        delegate: Rectangle {
            id: wordCell
            required property int index
            Layout.fillWidth: true
            Layout.minimumWidth: 10
            Layout.preferredWidth: 10
            implicitHeight: cell.implicitHeight + 12
            radius: 6
            color: BRPalette.surface
            border.width: 0.5
            border.color: BRPalette.border
            Row {
                id: cell
                anchors.left: parent.left
                anchors.leftMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                spacing: 4
                Text {
                    textFormat: Text.PlainText
                    width: 24
                    horizontalAlignment: Text.AlignRight
                    anchors.verticalCenter: parent.verticalCenter
                    text: (index + 1) + "."
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
                SecretWordText {
                    objectName: "phraseWord" + wordCell.index
                    anchors.verticalCenter: parent.verticalCenter
                    source: root.vm
                    index: wordCell.index
                    font: BRFont.monoMedium
                    color: BRPalette.textPrimary
                }
            }
        }
    }
}
