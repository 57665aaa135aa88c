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

        // Through items, their resources (popups) and contents, from the window's root.
        function findAll(item, prefix, out, seen) {
            if (!item || seen.has(item))
                return out
            seen.add(item)
            if (item.objectName && item.objectName.startsWith(prefix))
                out.push(item)
            const children = item.data || item.children || []
            for (let i = 0; i < children.length; ++i)
                findAll(children[i], prefix, out, seen)
            if (item.contentItem && item.contentItem !== item)
                findAll(item.contentItem, prefix, out, seen)
            return out
        }

        function find(name) {
            return findAll(top.parent, name, [], new Set()).find(
                found => found.objectName === name && found.visible !== false) || null
        }

        function click(name) {
            verify(find(name), name)
            mouseClick(find(name))
            wait(50)
        }

        function type(name, text) {
            click(name)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            keyClick(Qt.Key_Backspace)
            for (const c of text)
                keyClick(c)
        }

        function selectedRows() {
            return findAll(view, "accountRow_", [], new Set()).filter(r => r.isSelected).map(r => r.accountId)
        }

        function test_1_routerPicksTheFaceFromTheState() {
            // A new state reads onboarding and locked together: onboarding wins.
            compare(view.face, "onboarding")
            verify(find("onboardingView"))
            fixture.loadStoredState()
            fixture.createWallet()
            compare(view.face, "main")
            verify(find("accountDetailView"))
            fixture.lock()
            compare(view.face, "lock")
            verify(find("lockScreen"))
            fixture.setFlags(true, true)
            compare(view.face, "onboarding")
            fixture.setFlags(false, true)
            compare(view.face, "lock")
            fixture.unlock()
            compare(view.face, "main")
            compare(fixture.networkRequests(), 0)
        }

        function test_2_selectionRoutesTheDetail() {
            fixture.select(0, 0)
            const router = find("detailRouter")
            compare(selectedRows(), ["btc-0"])
            mouseClick(findAll(view, "accountRow_", [], new Set()).find(r => r.accountId === "poly-0"))
            compare(selectedRows(), ["poly-0"])
            compare(router.route, "account")
            // An index past the list: no account, the portfolio.
            fixture.select(2, 1)
            compare(router.route, "portfolio")
            verify(find("portfolioView"))
            compare(selectedRows(), [])
        }

        function test_3_lockButtonLocks() {
            mouseClick(find("lockButton"))
            compare(view.face, "lock")
        }

        function test_4_windowMenuAndReopen() {
            const component = Qt.createComponent("qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")
            compare(component.status, Component.Ready, component.errorString())
            const window = component.createObject(null)
            // Showing the window loads the stored state: the stored wallet is locked.
            window.show()
            tryCompare(window.rootView, "face", "lock")
            verify(!window.exportBackupAction.enabled)
            verify(window.restoreBackupAction.enabled)
            fixture.unlock()
            verify(window.exportBackupAction.enabled)
            // Closing keeps the state; showing it again loads the stored state anew.
            window.close()
            compare(window.rootView.face, "main")
            window.showMain()
            tryCompare(window.rootView, "face", "lock")
            verify(!window.exportBackupAction.enabled)
            window.destroy()
        }

        function test_5_settingsSheetReachesItsModels() {
            fixture.unlock()
            click("settingsButton")
            const settings = find("SettingsView")
            tryCompare(settings, "opened", true)
            click("settingsTab_Appearance")
            verify(find("appearanceSettingsView"))
            // Closed from another tab, it opens again on Network.
            keyClick(Qt.Key_Escape)
            tryCompare(settings, "visible", false)
            click("settingsButton")
            tryCompare(settings, "opened", true)
            compare(settings.selectedTab, 0)

            const port = find("field_Port").text
            type("field_Port", "70000")
            click("applyElectrumButton")
            compare(find("electrumFormError").text, "Port must be a number from 1 to 65535.")
            type("field_Port", port)
            click("applyElectrumButton")
            click("reconnectElectrumButton")
            const status = findAll(find("statusCell_Bitcoin"), "statusText", [], new Set())[0]
            tryCompare(status, "text", "Connected: 127.0.0.1", 30000)
            keyClick(Qt.Key_Escape)
            tryCompare(settings, "visible", false)
        }

        function test_6_recoveryPhraseAndDeleteWallet() {
            click("keyButton")
            const sheet = find("SeedRevealSheet")
            tryCompare(sheet, "opened", true)
            keyClick(Qt.Key_Return)
            tryVerify(() => (find("revealError") || {}).text === "Wrong password.")
            type("revealPasswordField", "correct horse")
            click("revealSeedButton")
            tryVerify(() => find("wordCell_12"))
            click("copyAllButton")
            compare(Clipboard.text(), "abandon abandon abandon abandon abandon abandon abandon "
                    + "abandon abandon abandon abandon about")
            // Done closes; the next opening asks for the password again.
            click("revealDoneButton")
            tryCompare(sheet, "visible", false)
            click("keyButton")
            tryCompare(sheet, "opened", true)
            compare(find("revealPasswordField").text, "")
            verify(!find("wordCell_1"))
            keyClick(Qt.Key_Escape)
            tryCompare(sheet, "visible", false)

            // The Security tab warns first, then opens its own sheet over the settings.
            click("settingsButton")
            click("settingsTab_Security")
            click("showRecoveryPhraseButton")
            const warning = find("securityWarningAlert")
            click("alertConfirmButton")
            tryCompare(warning, "visible", false)
            tryVerify(() => find("revealPasswordField"))
            keyClick(Qt.Key_Escape)
            tryVerify(() => !find("revealPasswordField"))

            // Deleting: Cancel keeps the wallet; the confirmation returns to onboarding.
            click("deleteWalletButton")
            click("alertCancelButton")
            compare(view.face, "main")
            click("deleteWalletButton")
            click("alertConfirmButton")
            tryCompare(view, "face", "onboarding")
        }

        function test_7_qmlCannotWriteTheState() {
            const state = WalletShell.appState
            const writes = {isLocked: false, isOnboarding: false, btcPriceUSD: 1, ethPriceUSD: 1,
                            solPriceUSD: 1, btcBlockHeight: 1, isRefreshing: true,
                            selectedAccountIndex: 3, btcSubscriptionsReady: true}
            for (const name in writes) {
                const before = state[name]
                let refused = false
                try {
                    state[name] = writes[name]
                } catch (error) {
                    refused = error instanceof TypeError
                }
                verify(refused, name)
                compare(state[name], before, name)
            }
            compare(view.face, "onboarding")
        }
    }
}
