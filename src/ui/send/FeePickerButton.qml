import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// One fee level: its name, on Bitcoin its rate, and its time hint; highlighted when chosen.
AbstractButton {
    id: root
    property int level: SendViewModel.Normal
    property bool isSelected: false
    // The level's rate ("20 sat/vB"); empty when not shown (every chain but Bitcoin).
    property string rateText: ""
    property bool isBTC: false

    readonly property string levelName: level === SendViewModel.Slow ? "Economy"
                                        : level === SendViewModel.Fast ? "Priority" : "Normal"
    readonly property string hint: isBTC
        ? (level === SendViewModel.Slow ? "~6 blocchi"
           : level === SendViewModel.Fast ? "~1 blocco" : "~3 blocchi")
        : (level === SendViewModel.Slow ? "~6 blocchi (~60 min)"
           : level === SendViewModel.Fast ? "Prossimo blocco (~10 min)" : "~3 blocchi (~30 min)")

    Accessible.name: levelName
    FocusRing { controlRadius: 6 }
    // Checked while it is the chosen level: a click's own toggle gives way to that again.
    checkable: true
    checked: isSelected
    onToggled: checked = Qt.binding(() => isSelected)
    Accessible.checkable: true
    Accessible.checked: isSelected
    hoverEnabled: true
    // The labels wrap inside these margins rather than run into the card's edges.
    leftPadding: 8
    rightPadding: 8
    topPadding: 8
    bottomPadding: 8
    implicitHeight: column.implicitHeight + topPadding + bottomPadding

    contentItem: Item {
        ColumnLayout {
            id: column
            width: parent.width
            anchors.verticalCenter: parent.verticalCenter
            spacing: 3
            Text {
                objectName: "feeLevelName"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: root.levelName
                font: BRFont.label
                color: root.isSelected ? BRPalette.textPrimary : BRPalette.textSecondary
            }
            Text {
                objectName: "feeLevelRate"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                visible: root.rateText.length > 0
                text: root.rateText
                font: BRFont.monoSmall
                color: root.isSelected ? BRPalette.warning : BRPalette.textTertiary
            }
            Text {
                objectName: "feeLevelHint"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: root.hint
                font: root.isBTC ? BRFont.systemFont(9, Font.Normal) : BRFont.caption2
                color: root.isSelected ? BRPalette.accent : BRPalette.textTertiary
            }
        }
    }
    background: Rectangle {
        radius: 6
        color: root.isSelected
               ? Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.1)
               : BRPalette.surface
        border.width: root.isSelected ? 1 : 0.5
        border.color: root.isSelected
                      ? Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.4)
                      : BRPalette.border
    }
}
