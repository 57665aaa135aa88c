import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui
import "../shared/Popups.js" as Popups

// The window as the program shows it over a created wallet: Tab is followed around it by the
// focus ring, read back from the pixels drawn.
Item {
    id: top
    width: 1100
    height: 1000

    MainWindowView {
        id: view
        anchors.fill: parent
    }

    TestCase {
        id: testCase
        name: "Focus"
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

        function focused() {
            return top.Window.activeFocusItem
        }

        function label(item) {
            return (item.objectName || String(item)) + " (" + (item.Accessible.name || "") + ")"
        }

        function holds(outer, item) {
            for (let at = item; at; at = at.parent) {
                if (at === outer)
                    return true
            }
            return false
        }

        function ringOf(item) {
            for (let i = 0; i < item.children.length; ++i) {
                if (item.children[i].objectName === "focusRing")
                    return item.children[i]
            }
            return null
        }

        // Focuses `control` as Tab does and presses `key` (Space) on it.
        function pressFromKeys(control, key) {
            verify(control, "nothing to press")
            control.forceActiveFocus(Qt.TabFocusReason)
            keyClick(key === undefined ? Qt.Key_Space : key)
        }

        // The sidebar's row of the first account on `chain` ("Bitcoin", "Arbitrum", ...), and
        // the button it is drawn as.
        function sidebarRow(chain) {
            return findAll(find("section_" + chain), "accountRow_", [], new Set())[0]
        }
        function rowButton(row) {
            return findAll(row, "accountRowButton", [], new Set())[0]
        }

        // The theme the tests start in.
        property string startTheme: ""

        function initTestCase() {
            startTheme = BRThemeManager.current
        }

        // What a test changes for a while goes back after it, even when it failed halfway, so
        // that one failure stays one: the theme, the window's height, the histories, a lock (the wallet
        // unlocked from the keys), the popups still open and the screen shown (the portfolio).
        function cleanup() {
            BRThemeManager.current = startTheme
            top.height = 1000
            fixture.restoreHistories()
            if (view.face === "lock")
                unlockFromKeys()
            Popups.closeAll(testCase, top.parent)
            if (view.face === "main") {
                WalletShell.sidebar.showPortfolio()
                tryCompare(find("detailRouter"), "route", "portfolio")
            }
        }

        // The wallet's password typed into the lock screen, then Return: an unlock from the
        // keys. The refresh it starts is ended once the wallet shows.
        function unlockFromKeys() {
            tryCompare(view, "face", "lock")
            const field = find("lockPasswordField")
            tryVerify(() => field.activeFocus, 5000, "the lock screen's field has no focus")
            for (const c of fixture.walletPassword())
                keyClick(c)
            keyClick(Qt.Key_Return)
            tryCompare(view, "face", "main", 30000)
            fixture.stopRefresh()
        }

        // Pixels of `colour` in the band around `item`'s edge, in the window as drawn now.
        function pixelsAround(item, colour) {
            waitForRendering(top)
            const image = grabImage(top)
            const at = item.mapToItem(top, 0, 0)
            let count = 0
            const left = Math.max(0, Math.floor(at.x) - 4)
            const right = Math.min(top.width - 1, Math.ceil(at.x + item.width) + 4)
            const upper = Math.max(0, Math.floor(at.y) - 4)
            const lower = Math.min(top.height - 1, Math.ceil(at.y + item.height) + 4)
            for (let x = left; x <= right; ++x) {
                for (let y = upper; y <= lower; ++y) {
                    // Only the band along the edge: inside it the control draws itself.
                    if (x > left + 8 && x < right - 8 && y > upper + 8 && y < lower - 8)
                        continue
                    const c = image.pixel(x, y)
                    if (Math.abs(c.r - colour.r) + Math.abs(c.g - colour.g)
                            + Math.abs(c.b - colour.b) < 0.06)
                        ++count
                }
            }
            return count
        }

        // The control Tab reaches, drawn with its ring in the theme's colour all round it.
        function verifyRingDrawn(item, theme) {
            const ring = ringOf(item)
            verify(ring, theme + ": " + label(item) + " has no focus ring")
            // A sheet draws it once the controls it focuses on opening are in place.
            tryVerify(() => ring.visible, 5000, theme + ": " + label(item) + "'s ring is hidden")
            compare(ring.border.color, BRPalette.accentLight, theme + ": " + label(item))
            // Most of its outline at least: a list's clip may take a side of a row's.
            const lit = pixelsAround(item, BRPalette.accentLight)
            verify(lit >= item.width + item.height,
                   theme + ": " + label(item) + " shows " + lit + " pixels of its ring")
        }

        // Tab from the current focus until it comes round again (or `limit` steps): every
        // control on the way shows the ring; returns them in order.
        function tabRound(theme, limit) {
            const reached = []
            for (let step = 0; step < limit; ++step) {
                keyClick(Qt.Key_Tab)
                const item = focused()
                verify(item, theme + ": Tab left nothing focused")
                if (reached.includes(item))
                    break
                reached.push(item)
                verifyRingDrawn(item, theme)
            }
            return reached
        }

        function test_1_everyControlTabReachesShowsTheRingInEveryTheme() {
            fixture.createWallet()
            compare(view.face, "main")
            for (const theme of BRThemeManager.themes) {
                BRThemeManager.current = theme
                // A click gives the focus without a ring (the control must not hold the
                // focus already: a click leaves that as it was).
                const portfolio = find("portfolioButton")
                top.forceActiveFocus()
                mouseClick(portfolio)
                verify(portfolio.activeFocus, theme)
                verify(!ringOf(portfolio).visible, theme + ": a click drew the ring")
                verify(pixelsAround(portfolio, BRPalette.accentLight) < 10, theme)

                const reached = tabRound(theme, 80)
                const names = reached.map(item => item.objectName)
                for (const name of ["nameButton", "keyButton", "settingsButton", "lockButton",
                                    "portfolioSend", "portfolioReceive"])
                    verify(names.includes(name), theme + ": Tab never reached " + name)
                // Backtab draws it as well, and leaves none behind on the control it left.
                const last = focused()
                keyClick(Qt.Key_Backtab)
                verify(focused() !== last, theme)
                verify(!ringOf(last).visible, theme + ": the ring stayed behind")
                verifyRingDrawn(focused(), theme)
            }
        }

        // In a sheet, on each of its pages, in every theme: a field or tab clicked shows no
        // ring, every control tabbed into does, scrolled into view where the page is long.
        function test_2_aSheetsControlsShowTheRingInEveryTheme() {
            compare(view.face, "main")
            for (const theme of BRThemeManager.themes) {
                BRThemeManager.current = theme
                mouseClick(find("settingsButton"))
                const settings = find("SettingsView")
                tryCompare(settings, "opened", true)
                const server = find("field_Server")
                verify(server, theme)
                mouseClick(server)
                verify(server.activeFocus, theme)
                verify(!ringOf(server).visible, theme + ": a click into a field drew the ring")

                const reached = tabRound(theme, 30)
                const names = reached.map(item => item.objectName)
                for (const name of ["field_Port", "tlsSwitch", "settingsTab_Security",
                                    "closeSheetButton"])
                    verify(names.includes(name), theme + ": Tab never reached " + name)
                // The other pages: the theme cards, the security actions.
                for (const page of ["Security", "Appearance"]) {
                    const tab = find("settingsTab_" + page)
                    focused().focus = false
                    mouseClick(tab)
                    verify(tab.activeFocus && !ringOf(tab).visible, theme + ": " + page)
                    verify(tabRound(theme + " " + page, 30).length > 4, theme + ": " + page)
                }
                keyClick(Qt.Key_Escape)
                tryCompare(settings, "visible", false)
            }
        }

        // A screen opened from the keyboard starts with its first control focused, ring drawn:
        // the next Tab goes on inside it, and Backtab leaves it. Opened with the mouse, none is.
        function test_3_aScreenOpenedFromTheKeyboardFocusesItsFirstControl() {
            compare(view.face, "main")
            const router = find("detailRouter")
            compare(router.route, "portfolio")
            const receive = find("portfolioReceive")
            receive.forceActiveFocus(Qt.TabFocusReason)
            keyClick(Qt.Key_Space)
            compare(router.route, "account")
            const screen = router.item
            tryVerify(() => holds(screen, focused()), 5000, "nothing of the account focused")
            const first = focused()
            verifyRingDrawn(first, "the account's first control")
            keyClick(Qt.Key_Tab)
            verify(focused() !== first && holds(screen, focused()), label(focused()))
            keyClick(Qt.Key_Backtab)
            keyClick(Qt.Key_Backtab)
            verify(!holds(screen, focused()), "Backtab from the first control stayed")
            // Escape returns to the portfolio: its first control takes the focus.
            keyClick(Qt.Key_Tab)
            keyClick(Qt.Key_Escape)
            compare(router.route, "portfolio")
            tryVerify(() => holds(router.item, focused()), 5000, "nothing focused")
            verifyRingDrawn(focused(), "the portfolio's first control")

            mouseClick(find("portfolioReceive"))
            compare(router.route, "account")
            wait(50)
            verify(!holds(router.item, focused()), label(focused()))
            keyClick(Qt.Key_Escape)
            compare(router.route, "portfolio")
        }

        // Each sheet and alert, opened with Space from the control that opens it (through the
        // ones that lead to it): its first control, or the field it focuses itself, holds the
        // focus, ring drawn; Escape closes it and hands the focus, ring drawn, back to that
        // control.
        function test_4_aSheetOpenedFromTheKeysStartsOnItsFirstControl_data() {
            return [
                { tag: "receive", chain: "Bitcoin", via: ["accountReceive"],
                  sheet: "receiveSheet", first: "closeSheetButton" },
                { tag: "send", chain: "Ethereum", via: ["accountSend"], sheet: "sendSheet",
                  first: "recipientField" },
                { tag: "swap", chain: "Ethereum", via: ["accountSwap"], sheet: "swapSheet",
                  first: "slippageButton" },
                { tag: "slippage", chain: "Ethereum", via: ["accountSwap", "slippageButton"],
                  sheet: "slippageMenu", first: "slippage_10" },
                { tag: "sale", chain: "Arbitrum", via: ["quickSwap_NOVR"],
                  sheet: "novrSwapSheet", first: "slippageButton" },
                { tag: "add token", chain: "Ethereum", via: ["addTokenButton"],
                  sheet: "addTokenSheet", first: "contractAddressField" },
                { tag: "about", via: ["nameButton"], sheet: "aboutSheet", first: "aboutClose" },
                { tag: "phrase", via: ["keyButton"], sheet: "SeedRevealSheet",
                  first: "revealPasswordField" },
                { tag: "settings", via: ["settingsButton"], sheet: "SettingsView",
                  first: "closeSheetButton" },
                { tag: "backup export", via: ["settingsButton", "settingsTab_Security",
                                              "exportEncryptedBackupButton"],
                  sheet: "BackupExportSheet", first: "exportPasswordField" },
                { tag: "delete confirmation", via: ["settingsButton", "settingsTab_Security",
                                                    "deleteWalletButton"],
                  sheet: "deleteWalletAlert", first: "alertCancelButton" },
                { tag: "pairing", via: ["connectButton"], sheet: "WCPairSheet",
                  first: "pairingURIField" }
            ]
        }

        function test_4_aSheetOpenedFromTheKeysStartsOnItsFirstControl(data) {
            compare(view.face, "main")
            if (data.chain) {
                pressFromKeys(rowButton(sidebarRow(data.chain)))
                tryCompare(find("detailRouter"), "route", "account")
            }
            let opener = null
            for (const name of data.via) {
                tryVerify(() => find(name), 5000, name)
                opener = find(name)
                pressFromKeys(opener)
            }
            tryVerify(() => find(data.sheet) && find(data.sheet).opened, 5000, data.sheet)
            const sheet = find(data.sheet)
            tryVerify(() => focused() && focused().objectName === data.first, 5000,
                      "focused: " + (focused() ? label(focused()) : "nothing"))
            verifyRingDrawn(focused(), data.tag)

            keyClick(Qt.Key_Escape)
            tryCompare(sheet, "visible", false)
            tryVerify(() => focused() === opener, 5000,
                      "focused: " + (focused() ? label(focused()) : "nothing"))
            verifyRingDrawn(opener, data.tag + "'s opener")
        }

        // With the mouse a sheet opens as it did: nothing in it drawn as focused.
        function test_4a_aSheetOpenedWithTheMouseDrawsNoRing() {
            compare(view.face, "main")
            mouseClick(find("nameButton"))
            const about = find("aboutSheet")
            tryCompare(about, "opened", true)
            // Once the window has drawn it, after whatever its opening set off.
            waitForRendering(top)
            const held = focused()
            verify(held && holds(about.contentItem.parent, held), "the sheet took no focus")
            const ring = ringOf(held)
            verify(!ring || !ring.visible, label(held) + " drawn focused")
        }

        // After an unlock from the keys the screen shown has the focus on its first control.
        function test_5_anUnlockLeavesTheFocusOnTheScreensFirstControl() {
            compare(view.face, "main")
            fixture.lock()
            unlockFromKeys()
            const router = find("detailRouter")
            tryVerify(() => focused() && holds(router.item, focused()), 5000,
                      "focused: " + (focused() ? label(focused()) : "nothing"))
            compare(focused().objectName, "portfolioSend")
            verifyRingDrawn(focused(), "the portfolio after the unlock")
        }

        // A notice the unlock shows holds the focus on its OK; once it is dismissed, the
        // screen under it has the focus on its first control.
        function test_6_aDismissedNoticeLeavesTheFocusOnTheScreensFirstControl() {
            compare(view.face, "main")
            fixture.lock()
            fixture.breakUnsettledRecord()
            unlockFromKeys()
            tryVerify(() => find("unreadableAttemptsAlert"), 5000, "no notice")
            const ok = find("unreadableAttemptsOK")
            tryVerify(() => ok.activeFocus, 5000,
                      "focused: " + (focused() ? label(focused()) : "nothing"))
            verifyRingDrawn(ok, "the notice's OK")
            keyClick(Qt.Key_Escape)
            tryVerify(() => !find("unreadableAttemptsAlert"), 5000, "the notice stayed")
            const router = find("detailRouter")
            tryVerify(() => focused() && holds(router.item, focused()), 5000,
                      "focused: " + (focused() ? label(focused()) : "nothing"))
            compare(focused().objectName, "portfolioSend")
            verifyRingDrawn(focused(), "the portfolio after the notice")
        }

        // Return and Enter press a focused sidebar row, and an alert's button, as Space does.
        function test_7_returnPressesTheFocusedButton() {
            compare(view.face, "main")
            const router = find("detailRouter")
            const row = sidebarRow("Solana")
            pressFromKeys(rowButton(row), Qt.Key_Return)
            tryCompare(router, "route", "account")
            verify(row.isSelected, "Return chose another account")
            pressFromKeys(find("portfolioButton"), Qt.Key_Enter)
            tryCompare(router, "route", "portfolio")

            fixture.lock()
            fixture.breakUnsettledRecord()
            unlockFromKeys()
            tryVerify(() => find("unreadableAttemptsOK"), 5000, "no notice")
            pressFromKeys(find("unreadableAttemptsOK"), Qt.Key_Return)
            tryVerify(() => !find("unreadableAttemptsAlert"), 5000, "Return left the notice")

            // The delete confirmation's first button, Cancel: the wallet stays.
            for (const name of ["settingsButton", "settingsTab_Security", "deleteWalletButton"]) {
                tryVerify(() => find(name), 5000, name)
                pressFromKeys(find(name))
            }
            const alert = find("deleteWalletAlert")
            tryCompare(alert, "opened", true)
            pressFromKeys(find("alertCancelButton"), Qt.Key_Return)
            tryCompare(alert, "visible", false)
            compare(view.face, "main")
        }

        // Inside the detail area as drawn now: the router's clip and each list it scrolls in.
        function inView(item) {
            const areas = [find("detailRouter")]
            for (let at = item.parent; at; at = at.parent) {
                if (at instanceof Flickable)
                    areas.push(at)
            }
            return areas.every(area => {
                const at = item.mapToItem(area, 0, 0)
                return at.y >= 0 && at.y + item.height <= area.height
            })
        }

        // A sidebar row pressed from the keys opens its screen on the screen's first control
        // (the account's "Copy address", the portfolio's Send), ring drawn and in view,
        // whatever the screen before left focused and scrolled; clicked, on none of them.
        function test_8_aSidebarRowOpensItsScreenOnItsFirstControl_data() {
            return [
                { tag: "Bitcoin by Return", from: "Ethereum", to: "Bitcoin", key: Qt.Key_Return },
                { tag: "Ethereum by Enter", from: "Solana", to: "Ethereum", key: Qt.Key_Enter },
                { tag: "Solana by Space", from: "Arbitrum", to: "Solana", key: Qt.Key_Space },
                { tag: "Arbitrum by Return", from: "Bitcoin", to: "Arbitrum", key: Qt.Key_Return },
                { tag: "Portfolio by Space", from: "Bitcoin", key: Qt.Key_Space },
                { tag: "Bitcoin clicked", from: "Ethereum", to: "Bitcoin" },
                { tag: "Portfolio clicked", from: "Arbitrum" }
            ]
        }

        function test_8_aSidebarRowOpensItsScreenOnItsFirstControl(data) {
            compare(view.face, "main")
            // A window lower than the account screens: they scroll.
            top.height = 600
            const router = find("detailRouter")
            // The screen before, as Tab left it further down: on its Receive, scrolled to its end.
            pressFromKeys(rowButton(sidebarRow(data.from)), Qt.Key_Return)
            tryCompare(router, "route", "account")
            tryVerify(() => find("accountReceive"), 5000, "no Receive")
            find("accountReceive").forceActiveFocus(Qt.TabFocusReason)
            const list = find("accountHistory")
            list.contentY = list.originY + list.contentHeight - list.height
            verify(!list.atYBeginning, "the account screen does not scroll")

            const row = data.to ? rowButton(sidebarRow(data.to)) : find("portfolioButton")
            if (data.key === undefined)
                mouseClick(row)
            else
                pressFromKeys(row, data.key)
            tryCompare(router, "route", data.to ? "account" : "portfolio")
            if (data.to)
                compare(router.item.detail.accountId, sidebarRow(data.to).accountId)
            waitForRendering(top)
            const held = () => focused() ? label(focused()) : "nothing"
            if (data.key === undefined) {
                verify(!holds(router.item, focused()) && !focused().visualFocus, held())
                return
            }
            const first = find(data.to ? "accountAddress" : "portfolioSend")
            tryVerify(() => focused() && holds(first, focused()), 5000, "focused: " + held())
            verify(focused().visualFocus, held() + " is not drawn focused")
            verify(inView(focused()), held() + " is out of view")
            verifyRingDrawn(focused(), data.tag)
        }

        // Whatever the account screen showed before (no transactions, or rows), a screen opened
        // from the keys starts on its first control, drawn and in view, and the next Tab goes on
        // inside it; also when its rows arrive once it shows.
        function test_9_aScreenOpensOnItsFirstControlWhateverItsHistoryShowed_data() {
            return [
                { tag: "empty to rows, Ethereum by Return", from: "Solana", to: "Ethereum",
                  rows: ["ethereum"], key: Qt.Key_Return },
                { tag: "empty to rows, Arbitrum by Enter", from: "Bitcoin", to: "Arbitrum",
                  rows: ["arbitrum"], key: Qt.Key_Enter },
                { tag: "empty to rows, Polygon by Space", from: "Ethereum", to: "Polygon",
                  rows: ["polygon"], key: Qt.Key_Space },
                { tag: "empty to rows, Bitcoin by Return", from: "Polygon", to: "Bitcoin",
                  rows: ["bitcoin"], key: Qt.Key_Return },
                { tag: "empty to rows, Solana by Enter", from: "Arbitrum", to: "Solana",
                  rows: ["solana"], key: Qt.Key_Enter },
                { tag: "rows to empty by Space", from: "Ethereum", to: "Solana",
                  rows: ["ethereum"], key: Qt.Key_Space },
                { tag: "rows to rows by Return", from: "Ethereum", to: "Arbitrum",
                  rows: ["ethereum", "arbitrum"], key: Qt.Key_Return },
                { tag: "rows arriving once it shows", from: "Solana", to: "Bitcoin",
                  rows: [], late: "bitcoin", key: Qt.Key_Space }
            ]
        }

        function test_9_aScreenOpensOnItsFirstControlWhateverItsHistoryShowed(data) {
            compare(view.face, "main")
            top.height = 600
            for (const chain of ["bitcoin", "ethereum", "arbitrum", "polygon", "solana"])
                fixture.setHistory(chain, data.rows.includes(chain) ? 12 : 0)
            const router = find("detailRouter")
            pressFromKeys(rowButton(sidebarRow(data.from)), Qt.Key_Return)
            tryCompare(router, "route", "account")
            const list = find("accountHistory")
            tryCompare(list, "count", data.rows.includes(data.from.toLowerCase()) ? 12 : 0)

            pressFromKeys(rowButton(sidebarRow(data.to)), data.key)
            compare(router.item.detail.accountId, sidebarRow(data.to).accountId)
            if (data.late)
                fixture.setHistory(data.late, 12)
            const rows = data.rows.includes(data.to.toLowerCase()) || data.late ? 12 : 0
            tryCompare(list, "count", rows)
            waitForRendering(top)
            const held = () => focused() ? label(focused()) : "nothing"
            const first = find("accountAddress")
            tryVerify(() => focused() && holds(first, focused()), 5000, "focused: " + held())
            verify(focused().visualFocus, held() + " is not drawn focused")
            verify(inView(focused()), held() + " is out of view")
            verifyRingDrawn(focused(), data.tag)
            keyClick(Qt.Key_Tab)
            verify(holds(router.item, focused()), "Tab left the screen for " + held())
        }

        // After a sidebar row is clicked, Tab goes to the shown screen's first control, drawn.
        function test_9a_aTabAfterAClickGoesToTheShownScreen_data() {
            return [
                { tag: "an account", to: "Ethereum", first: "accountAddress" },
                { tag: "the portfolio", from: "Bitcoin", first: "portfolioSend" }
            ]
        }

        function test_9a_aTabAfterAClickGoesToTheShownScreen(data) {
            compare(view.face, "main")
            const router = find("detailRouter")
            if (data.from) {
                mouseClick(rowButton(sidebarRow(data.from)))
                tryCompare(router, "route", "account")
            }
            mouseClick(data.to ? rowButton(sidebarRow(data.to)) : find("portfolioButton"))
            tryCompare(router, "route", data.to ? "account" : "portfolio")
            waitForRendering(top)
            keyClick(Qt.Key_Tab)
            const held = () => focused() ? label(focused()) : "nothing"
            const first = find(data.first)
            verify(focused() && holds(first, focused()), "focused: " + held())
            verifyRingDrawn(focused(), data.tag)
        }
    }
}
