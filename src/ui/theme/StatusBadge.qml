import QtQuick
import Quillmark.Ui

// A transaction's status as a small coloured capsule.
Rectangle {
    id: root
    property string status: "pending" // "pending", "confirmed" or "failed"
    readonly property color statusColor: status === "confirmed" ? BRPalette.success
                                       : status === "failed" ? BRPalette.error : BRPalette.warning
    readonly property string statusText: status === "confirmed" ? "Confirmed"
                                       : status === "failed" ? "Failed" : "Pending"

    implicitWidth: row.implicitWidth + 16
    implicitHeight: row.implicitHeight + 6
    radius: height / 2
    color: Qt.rgba(statusColor.r, statusColor.g, statusColor.b, 0.1)

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 4
        Rectangle {
            width: 6; height: 6; radius: 3
            color: root.statusColor
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            textFormat: Text.PlainText
            text: root.statusText
            font: BRFont.caption2
            color: root.statusColor
            anchors.verticalCenter: parent.verticalCenter
        }
    }
}
