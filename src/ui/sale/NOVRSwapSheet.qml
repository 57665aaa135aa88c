import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The NOVR sale as a sheet over the window, opened from the Arbitrum account's NOVR chip. Each
// opening builds the form with a fresh view model; closing drops both (a buy or sale already
// confirmed runs on in the wallet's flows).
BRSheet {
    id: root
    objectName: "novrSwapSheet"
    width: 480
    height: Math.min(600, heightBelowMenuBar)

    contentItem: Loader {
        id: content
        active: root.visible
        sourceComponent: Item {
            property alias view: form
            NOVRSwapView {
                id: form
                anchors.fill: parent
                anchors.margins: 24
                onCloseRequested: root.close()
            }
            NOVRSwapConfirmView {
                vm: form.vm
                onDone: root.close()
            }
        }
    }
}
