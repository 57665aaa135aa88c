import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// Said once, over the unlocked wallet: part of the record of the transactions it sent could
// not be read, where it was set aside, and that those transactions may still go through. OK
// or Escape dismisses it for good.
Dialog {
    id: root
    objectName: "unreadableAttemptsAlert"
    property string message: ""

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: 420
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    readonly property PopupFocus focusPlace: PopupFocus { popup: root }
    title: "Sent Transactions Could Not Be Read"
    background: Rectangle {
        color: BRPalette.backgroundSecondary
        radius: 10
        border.width: 0.5
        border.color: BRPalette.border
    }
    header: Text {
        textFormat: Text.PlainText
        text: root.title
        font: BRFont.headline
        color: BRPalette.textPrimary
        wrapMode: Text.Wrap
        padding: 16
        bottomPadding: 0
    }
    contentItem: Text {
        objectName: "unreadableAttemptsMessage"
        textFormat: Text.PlainText
        text: root.message
        font: BRFont.callout
        color: BRPalette.textSecondary
        // A long folder path breaks anywhere rather than running past the edge.
        wrapMode: Text.WrapAtWordBoundaryOrAnywhere
    }
    footer: RowLayout {
        Item { Layout.fillWidth: true }
        BRSecondaryButton {
            objectName: "unreadableAttemptsOK"
            Layout.rightMargin: 16
            Layout.bottomMargin: 16
            focus: true
            text: "OK"
            onClicked: root.close()
        }
    }
}
