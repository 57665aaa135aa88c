import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// Stands in for a sheet that is not built yet: its name, a note and "Close".
BRSheet {
    id: root
    property string screenName: ""
    property string note: "This sheet is not built yet."

    width: 480
    height: 320
    contentItem: ColumnLayout {
        spacing: 0
        PlaceholderScreen {
            Layout.fillWidth: true
            Layout.fillHeight: true
            screenName: root.screenName
            note: root.note
        }
        BRSecondaryButton {
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: 12
            text: "Close"
            onClicked: root.close()
        }
    }
}
