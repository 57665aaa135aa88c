import QtQuick
import QtTest
import Quillmark.Ui

Item {
    id: top
    width: 1100
    height: 700

    MainWindowView {
        id: view
        anchors.fill: parent
    }

    TestCase {
        name: "Shell"
        when: windowShown

        function findAll(item, prefix, out, seen) {
            seen = seen || new Set()
            if (!item || seen.has(item))
                return out
            seen.add(item)
            if (item.objectName && item.objectName.startsWith(prefix))
                out.push(item)
            const children = item.children || []
            for (let i = 0; i < children.length; ++i)
                findAll(children[i], prefix, out, seen)
            if (item.contentItem && item.contentItem !== item)
                findAll(item.contentItem, prefix, out, seen)
            return out
        }

        function find(item, name) {
            return findAll(item, name, []).find(found => found.objectName === name) || null
        }

        function sameColor(a, b) {
            return Math.abs(a.r - b.r) < 0.01 && Math.abs(a.g - b.g) < 0.01 && Math.abs(a.b - b.b) < 0.01
        }

        function test_1_routerPicksTheFaceFromTheState() {
            // A new state reads onboarding and locked together: onboarding wins.
            compare(view.face, "onboarding")
            verify(find(view, "onboardingView"))
            fixture.loadStoredState() // nothing stored
            compare(view.face, "onboarding")

            fixture.createWallet()
            compare(view.face, "main")
            verify(find(view, "detailRouter"))
            // Bitcoin #0 is selected from the start, so its detail shows.
            verify(find(view, "accountDetailView"))
            verify(!find(view, "onboardingView"))

            fixture.lock()
            compare(view.face, "lock")
            verify(find(view, "lockScreen"))
            fixture.setFlags(true, true)
            compare(view.face, "onboarding")
            fixture.setFlags(false, true)
            compare(view.face, "lock")
            fixture.unlock()
            compare(view.face, "main")
            compare(fixture.networkRequests(), 0)
        }

        function test_3_selectionRoutesTheDetail() {
            fixture.select(0, 0)
            const router = find(view, "detailRouter")
            compare(router.route, "account")
            verify(find(view, "accountDetailView"))
            let rows = findAll(view, "accountRow_", [])
            compare(rows.filter(r => r.isSelected).map(r => r.accountId), ["btc-0"])

            // A click on Polygon #0 selects it.
            const polygon = rows.find(r => r.accountId === "poly-0")
            mouseClick(polygon)
            rows = findAll(view, "accountRow_", [])
            compare(rows.filter(r => r.isSelected).map(r => r.accountId), ["poly-0"])
            compare(router.route, "account")

            // An index past the list: no account, the portfolio.
            fixture.select(2, 1)
            compare(router.route, "portfolio")
            verify(find(view, "portfolioView"))
            rows = findAll(view, "accountRow_", [])
            compare(rows.filter(r => r.isSelected).length, 0)
        }

        function test_4_themeSwitchRecolours() {
            BRThemeManager.current = "Apple Blue"
            waitForRendering(view)
            let image = grabImage(view)
            // The status bar's background at the top right corner of the detail column.
            const blue = image.pixel(view.width - 4, 4)
            verify(sameColor(image.pixel(4, 4), BRPalette.sidebarGradientTop),
                   "sidebar top " + image.pixel(4, 4))

            BRThemeManager.current = "Dollar Green"
            waitForRendering(view)
            image = grabImage(view)
            verify(sameColor(image.pixel(4, 4), Qt.rgba(9 / 255, 18 / 255, 8 / 255, 1)),
                   "sidebar top " + image.pixel(4, 4))
            verify(!sameColor(image.pixel(view.width - 4, 4), blue))
            BRThemeManager.current = "Apple Blue"
        }

        function test_6_windowMenuAndReopen() {
            const component = Qt.createComponent("qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")
            compare(component.status, Component.Ready, component.errorString())
            const window = component.createObject(null)
            verify(window)

            // Showing the window loads the stored state: the stored wallet is locked.
            window.show()
            tryCompare(window, "visible", true)
            tryCompare(window.rootView, "face", "lock")
            verify(!window.exportBackupAction.enabled)
            verify(window.restoreBackupAction.enabled)
            fixture.unlock()
            compare(window.rootView.face, "main")
            verify(window.exportBackupAction.enabled)

            // Closing keeps the state; showing it again loads the stored state anew.
            window.close()
            compare(window.visible, false)
            compare(window.rootView.face, "main")
            window.showMain()
            tryCompare(window, "visible", true)
            tryCompare(window.rootView, "face", "lock")
            verify(!window.exportBackupAction.enabled)
            window.destroy()
        }

        function test_5_lockButtonLocks() {
            const lockButton = find(view, "lockButton")
            verify(lockButton)
            mouseClick(lockButton)
            compare(view.face, "lock")
        }
    }
}
