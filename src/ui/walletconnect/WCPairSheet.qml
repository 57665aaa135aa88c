import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// Placeholder for the "Connect dApp" sheet until it is built.
BRSheet {
    id: root
    objectName: "WCPairSheet"
    width: 480
    height: 320
    contentItem: ColumnLayout {
        spacing: 0
        PlaceholderScreen {
            Layout.fillWidth: true
            Layout.fillHeight: true
            screenName: "Connect dApp"
            note: "WalletConnect pairing placeholder: not built yet."
        }
        BRSecondaryButton {
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: 12
            text: "Close"
            onClicked: root.close()
        }
    }
}
