import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// Copies `copyText` to the clipboard and confirms it for two seconds.
AbstractButton {
    id: root
    property string copyText: ""
    // What is copied, as a screen reader names the button ("address" reads "Copy address
    // bc1q..."): the buttons of a list are told apart by their values.
    property string copySubject: ""
    property bool copied: false
    readonly property string tooltipText: copied ? "Copied!" : "Copy to clipboard"

    hoverEnabled: true
    Accessible.name: copied || copySubject === "" ? tooltipText
                                                  : "Copy " + copySubject + " " + copyText
    FocusRing { controlRadius: 3 }
    BRToolTip {
        objectName: "copyToolTip"
        visible: root.hovered
        text: root.tooltipText
    }

    contentItem: Row {
        spacing: 4
        BRSymbol {
            name: root.copied ? "checkmark" : "doc.on.doc"
            size: 11
            color: root.copied ? BRPalette.success : BRPalette.textTertiary
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            textFormat: Text.PlainText
            visible: root.copied
            // The button's name says it while it shows.
            Accessible.ignored: true
            text: "Copied"
            font: BRFont.caption2
            color: BRPalette.success
            anchors.verticalCenter: parent.verticalCenter
        }
    }

    onClicked: {
        Clipboard.setText(copyText)
        copied = true
        // Each press has its own reset, two seconds after it.
        var reset = resetTimer.createObject(root)
        reset.start()
    }

    Component {
        id: resetTimer
        Timer {
            interval: 2000
            onTriggered: { root.copied = false; destroy() }
        }
    }
}
