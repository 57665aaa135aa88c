import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The one "main" window: its menu commands, the root view and the two backup sheets, which
// open over whatever the window shows.
ApplicationWindow {
    id: window
    objectName: "main"
    title: "Quillmark"
    width: 1100
    height: 700
    minimumWidth: 900
    minimumHeight: 620
    color: BRPalette.background
    font: BRFont.body

    readonly property alias rootView: rootView
    readonly property alias exportBackupAction: exportBackupAction
    readonly property alias restoreBackupAction: restoreBackupAction

    // Brings the window forward, opening it again when it was closed.
    function showMain() {
        const wasHidden = !visible
        show()
        raise()
        requestActivate()
        if (wasHidden) rootView.rebuild()
    }

    menuBar: MenuBar {
        background: Rectangle { color: BRPalette.backgroundSecondary }
        delegate: MenuBarItem {
            id: menuBarItem
            contentItem: Text {
                text: menuBarItem.text
                font: BRFont.callout
                color: BRPalette.textPrimary
            }
            background: Rectangle {
                color: menuBarItem.highlighted ? BRPalette.surface : "transparent"
            }
        }
        Menu {
            title: "File"
            Action {
                text: "Close Window"
                shortcut: StandardKey.Close
                onTriggered: window.close()
            }
            MenuSeparator {}
            Action {
                id: exportBackupAction
                objectName: "exportBackupAction"
                text: "Export Backup..."
                shortcut: "Ctrl+Shift+E"
                enabled: WalletShell.canExportBackup
                onTriggered: exportSheet.open()
            }
            Action {
                id: restoreBackupAction
                objectName: "restoreBackupAction"
                text: "Restore Backup..."
                shortcut: "Ctrl+Shift+R"
                onTriggered: restoreSheet.open()
            }
            MenuSeparator {}
            Action {
                text: "Quit"
                shortcut: StandardKey.Quit
                onTriggered: Qt.quit()
            }
        }
        Menu {
            title: "Window"
            Action {
                text: "Minimize"
                shortcut: "Ctrl+M"
                onTriggered: window.showMinimized()
            }
            MenuSeparator {}
            Action {
                objectName: "showMainAction"
                text: "Show Quillmark"
                shortcut: "Ctrl+0"
                onTriggered: window.showMain()
            }
        }
    }

    MainWindowView {
        id: rootView
        objectName: "mainWindowView"
        anchors.fill: parent
    }

    BackupExportSheet { id: exportSheet }
    BackupRestoreSheet { id: restoreSheet }

    // The appear action: every time the window is shown, the stored state decides between
    // onboarding and the lock screen.
    onVisibleChanged: if (visible) WalletShell.loadStoredState()
}
