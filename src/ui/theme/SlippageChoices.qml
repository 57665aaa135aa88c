import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// A slippage menu as one row of choices, right-aligned under the button that opens it: a list
// dropping down would cover the amount being typed. The current value is drawn (and read to a
// screen reader) as checked.
Popup {
    id: root
    // [{ value, text }] in the order shown.
    property var choices: []
    property int current: 0
    // Each choice's object name is this prefix followed by its value.
    property string itemPrefix: "slippage_"
    signal chosen(int value)
    // What a screen reader calls the row of choices.
    readonly property string title: "Slippage"

    // Opened from the keys, the keyboard goes on among the choices.
    focus: true
    readonly property PopupFocus focusPlace: PopupFocus { popup: root }

    x: parent ? parent.width - width : 0
    y: parent ? parent.height + 4 : 0
    padding: 4
    background: Rectangle {
        color: BRPalette.backgroundSecondary
        border.width: 1
        border.color: BRPalette.border
        radius: 6
    }
    contentItem: Row {
        spacing: 4
        Repeater {
            model: root.choices
            AbstractButton {
                id: choice
                required property var modelData
                readonly property bool isCurrent: root.current === modelData.value
                objectName: root.itemPrefix + modelData.value
                text: modelData.text
                // Checked while it is the current value: a click's own toggle gives way to
                // that again.
                checkable: true
                checked: isCurrent
                onToggled: checked = Qt.binding(() => isCurrent)
                Accessible.name: text
                FocusRing { controlRadius: 4; outset: 0 }
                Accessible.checkable: true
                Accessible.checked: isCurrent
                hoverEnabled: true
                leftPadding: 10
                rightPadding: 10
                topPadding: 5
                bottomPadding: 5
                onClicked: {
                    root.chosen(modelData.value)
                    root.close()
                }
                background: Rectangle {
                    radius: 4
                    color: choice.isCurrent
                           ? Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.15)
                           : choice.hovered ? BRPalette.surface : "transparent"
                    border.width: choice.isCurrent ? 1 : 0
                    border.color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b,
                                          0.4)
                }
                contentItem: Text {
                    textFormat: Text.PlainText
                    text: choice.text
                    font: BRFont.callout
                    color: choice.isCurrent ? BRPalette.accent : BRPalette.textPrimary
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
            }
        }
    }
}
