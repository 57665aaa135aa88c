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
    // The style's controls (busy indicators, scroll bars, dialogs) and every popup of the window
    // take their colours from here: the theme's, never the desktop's light defaults.
    palette {
        window: BRPalette.backgroundSecondary
        windowText: BRPalette.textPrimary
        base: BRPalette.background
        alternateBase: BRPalette.surface
        text: BRPalette.textPrimary
        button: BRPalette.surface
        buttonText: BRPalette.textPrimary
        brightText: BRPalette.textPrimary
        highlight: BRPalette.accent
        highlightedText: BRPalette.background
        light: BRPalette.surface
        midlight: BRPalette.border
        mid: BRPalette.textTertiary
        dark: BRPalette.textSecondary
        shadow: BRPalette.shadow
        toolTipBase: BRPalette.backgroundSecondary
        toolTipText: BRPalette.textPrimary
        placeholderText: BRPalette.textTertiary
        link: BRPalette.accent
        linkVisited: BRPalette.accent
    }

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
            // Lit while its menu is open or under the pointer: the bar's keyboard
            // highlight would stay on after Escape closed the menu.
            readonly property bool lit: (menu && menu.visible) || hovered
            hoverEnabled: true
            contentItem: Text {
                textFormat: Text.PlainText
                text: menuBarItem.text
                font: BRFont.callout
                color: BRPalette.textPrimary
            }
            background: Rectangle {
                objectName: "menuBarItemBackground"
                color: menuBarItem.lit ? BRPalette.surface : "transparent"
            }
        }
        BRMenu {
            title: "File"
            Action {
                text: "Close Window"
                shortcut: "Ctrl+W"
                onTriggered: window.close()
            }
            BRMenuSeparator {}
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
            BRMenuSeparator {}
            Action {
                text: "Quit"
                shortcut: "Ctrl+Q"
                onTriggered: Qt.quit()
            }
        }
        BRMenu {
            title: "Window"
            Action {
                text: "Minimize"
                shortcut: "Ctrl+M"
                onTriggered: window.showMinimized()
            }
            BRMenuSeparator {}
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

    // Made when first opened: the first frame does without them.
    SheetOnDemand { id: exportSheet; source: "../settings/BackupExportSheet.qml" }
    SheetOnDemand { id: restoreSheet; source: "../settings/BackupRestoreSheet.qml" }

    // The appear action: every time the window is shown, the stored state decides between
    // onboarding and the lock screen.
    onVisibleChanged: if (visible) WalletShell.loadStoredState()
}
