import QtQuick
import QtQuick.Layouts
import QtQuick.Shapes
import Quillmark.Ui

// The right column of the main view: the status bar over the detail router, on the window
// background with a faint radial glow. Escape here returns from an account to the portfolio;
// showing another screen hands the keyboard to this column, so Escape works right after a
// click in the sidebar. Screens inside that use Escape themselves take it first. A screen opened
// from the keyboard starts with the focus on its first control.
FocusScope {
    id: root
    function holds(outer, item) {
        for (let at = item; at; at = at.parent) {
            if (at === outer)
                return true
        }
        return false
    }
    // A screen opened from the keys (its control gone with the screen it was on, the
    // sidebar's row that chose it, the unlock that showed the window) starts with the focus on
    // its first control: the next Tab goes on from there, not from the top of the window. Only
    // while the focus rests on this column or on a Loader in it: nothing to act on.
    function focusFirstControl() {
        if (KeyboardFocus.inUse && restsHere())
            KeyboardFocus.focusFirstControl(router.item)
    }
    // Whether the keyboard rests on this column or on a Loader in it: on no control.
    function restsHere() {
        const held = root.Window.activeFocusItem
        return !!held && (held === root || (held instanceof Loader && holds(root, held)))
    }

    // Another screen shown (a sidebar row, Escape, a screen's own button): the column takes
    // the keyboard, forgetting the control it held before, which may lie on the account screen
    // that now shows another account (hidden there, or far down), and from the keys the new
    // screen's first control takes it once the screen is in place.
    readonly property string shownAccount: WalletShell.selectedAccountId
    onShownAccountChanged: {
        KeyboardFocus.takeFocus(root)
        Qt.callLater(root.focusFirstControl)
    }

    // Tab while the column itself holds the keyboard (a sidebar row clicked) goes on into the
    // shown screen, at its first control, rather than round to the top of the window.
    Keys.onTabPressed: (event) => {
        event.accepted = restsHere() && KeyboardFocus.focusFirstControl(router.item)
    }
    Keys.onEscapePressed: (event) => {
        event.accepted = WalletShell.hasSelectedAccount
        if (event.accepted)
            WalletShell.sidebar.showPortfolio()
    }
    Connections {
        target: root.Window.window
        function onActiveFocusItemChanged() {
            const held = root.Window.activeFocusItem
            if (held && held.visualFocus === undefined && holds(root, held))
                Qt.callLater(root.focusFirstControl)
        }
    }
    Component.onCompleted: forceActiveFocus()
    Rectangle { anchors.fill: parent; color: BRPalette.background }
    BRShape {
        anchors.fill: parent
        opacity: 0.04
        ShapePath {
            strokeWidth: 0
            strokeColor: "transparent"
            fillGradient: RadialGradient {
                centerX: root.width / 2; centerY: root.height / 2
                focalX: centerX; focalY: centerY
                centerRadius: 500
                GradientStop { position: 0; color: BRPalette.backgroundGradientCentre }
                GradientStop { position: 1; color: BRPalette.background }
            }
            startX: 0; startY: 0
            PathLine { x: root.width; y: 0 }
            PathLine { x: root.width; y: root.height }
            PathLine { x: 0; y: root.height }
            PathLine { x: 0; y: 0 }
        }
    }
    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        // Above the screens: their lists scroll on under the translucent bar, not over it.
        StatusBar { objectName: "statusBar"; Layout.fillWidth: true; z: 1 }
        Rectangle { Layout.fillWidth: true; implicitHeight: 1; color: BRPalette.border; z: 1 }
        DetailRouter {
            id: router
            objectName: "detailRouter"
            Layout.fillWidth: true
            Layout.fillHeight: true
            // A screen scrolled up ends at the bar: nothing of it shows through the bar.
            clip: true
        }
    }
}
