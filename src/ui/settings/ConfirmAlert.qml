import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// A confirmation: title, message, a cancelling button and the confirming one, drawn in the
// danger colour when it destroys something. Either button closes it.
Dialog {
    id: root
    property string message: ""
    property string cancelText: "Cancel"
    property string confirmText: "OK"
    property bool destructive: true
    signal confirmed()

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: 360
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    readonly property PopupFocus focusPlace: PopupFocus { popup: root }
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
        padding: 16
        bottomPadding: 0
    }
    contentItem: Text {
        textFormat: Text.PlainText
        text: root.message
        font: BRFont.callout
        color: BRPalette.textSecondary
        wrapMode: Text.Wrap
    }
    footer: RowLayout {
        spacing: 12
        Item { Layout.fillWidth: true }
        BRSecondaryButton {
            objectName: "alertCancelButton"
            Layout.bottomMargin: 16
            text: root.cancelText
            onClicked: root.reject()
        }
        BRSecondaryButton {
            id: confirmButton
            objectName: "alertConfirmButton"
            Layout.rightMargin: 16
            Layout.bottomMargin: 16
            text: root.confirmText
            contentItem: Text {
                textFormat: Text.PlainText
                text: confirmButton.text
                font: confirmButton.font
                color: root.destructive ? BRPalette.error : BRPalette.textPrimary
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            onClicked: {
                root.close()
                // After the alert has gone: the action may take the whole view away.
                Qt.callLater(root.confirmed)
            }
        }
    }
}
