import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui
import "../shared/Popups.js" as Popups

Item {
    id: top
    width: 1100
    height: 700

    MainWindowView {
        id: view
        anchors.fill: parent
    }

    // The owner of the windows the tests open besides this one (openWindow()). The script
    // engine's collector deletes an object without a parent once no script holds it; deleting
    // one while it is being destroyed already (a password field's destruction handler runs
    // script, which may start the collector) crashes Qt 6.4 in the window's destructor.
    QtObject { id: windowOwner }

    TestCase {
        id: testCase
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

        // The theme the tests start in.
        property string startTheme: ""

        function initTestCase() {
            startTheme = BRThemeManager.current
        }

        // What a test changes for a while goes back after it, even when it failed halfway, so
        // that one failure stays one: the theme, the refresh mark, the pointer's place, open
        // sheets, alerts and help, the window's height, the sidebar's width, the screen shown
        // and the lists' positions. (The windows a test opened are destroyed after this.)
        function cleanup() {
            BRThemeManager.current = startTheme
            fixture.setRefreshing(false)
            mouseMove(view, 600, 400)
            Popups.closeAll(testCase, top.parent)
            top.height = 700
            const sidebar = find("sidebar")
            if (sidebar)
                sidebar.SplitView.preferredWidth = 340
            const accounts = find("accountList")
            if (accounts)
                accounts.contentItem.contentY = 0
            if (view.face === "main")
                WalletShell.sidebar.showPortfolio()
            const list = find("portfolioList")
            if (list)
                list.positionViewAtBeginning()
        }

        // A window as the program shows it, from `file` (the program's main window unless
        // given), owned by windowOwner and destroyed after the test.
        function openWindow(properties, file) {
            const component = Qt.createComponent(
                file || "qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")
            compare(component.status, Component.Ready, component.errorString())
            return createTemporaryObject(component, windowOwner, properties || {})
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
            // The sheets no frame has shown are not made yet (they are made when first opened).
            for (const sheet of ["SettingsView", "aboutSheet", "SeedRevealSheet"])
                compare(findAll(top.parent, sheet, [], new Set()).length, 0, sheet)
            // A new wallet opens on the portfolio, with no account selected and no balance
            // known yet; once known, its dollars read as in the United States under a locale
            // without a territory.
            verify(find("portfolioView"))
            compare(selectedRows(), [])
            compare(find("portfolioTotal").text, "\u2014")
            fixture.answerZeroBalances()
            compare(find("portfolioTotal").text, "$0.00")
            fixture.select(1, 0)
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
            // So does every unlock, whatever was selected before the lock, and the balances
            // known before it are to be answered for again.
            verify(find("portfolioView"))
            compare(selectedRows(), [])
            compare(find("portfolioTotal").text, "\u2014")
            compare(fixture.networkRequests(), 0)
        }

        function accountRow(id) {
            return findAll(view, "accountRow_", [], new Set()).find(r => r.accountId === id)
        }

        function test_2_selectionRoutesTheDetail() {
            const router = find("detailRouter")
            const portfolioRow = find("portfolioRow")
            const portfolioName = find("portfolioRowName")
            compare(router.route, "portfolio")
            verify(portfolioRow.isSelected)
            verify(Qt.colorEqual(portfolioName.color, "#e4ecf5"))

            // A click on an account shows its screen; its row brightens, the others stay dim.
            mouseClick(accountRow("poly-0"))
            compare(selectedRows(), ["poly-0"])
            compare(router.route, "account")
            verify(!portfolioRow.isSelected)
            verify(Qt.colorEqual(portfolioName.color, "#8da0b8"))
            const shown = accountRow("poly-0")
            const other = accountRow("btc-0")
            for (const [row, colour] of [[shown, "#e4ecf5"], [other, "#8da0b8"]]) {
                for (const name of ["accountRowName", "accountRowBalance"])
                    verify(Qt.colorEqual(findAll(row, name, [], new Set())[0].color, colour), name)
                verify(Qt.colorEqual(findAll(row, "accountRowAddress", [], new Set())[0].color,
                                     "#4a6480"))
            }

            // Each address is shortened once, by the sidebar's rule, and shown whole even in
            // the narrowest sidebar.
            const sidebar = find("sidebar")
            sidebar.SplitView.preferredWidth = 260
            tryCompare(sidebar, "width", 260)
            const addresses = findAll(view, "accountRowAddress", [], new Set())
            compare(addresses.length, 5)
            compare(addresses[0].text, "bc1qcr...6fyu")
            for (const address of addresses)
                verify(address.width >= address.implicitWidth, address.text)
            sidebar.SplitView.preferredWidth = 340

            // Escape in the detail area, right after that click, returns to the portfolio.
            keyClick(Qt.Key_Escape)
            compare(router.route, "portfolio")
            compare(selectedRows(), [])
            verify(portfolioRow.isSelected)
            // So does the portfolio row.
            mouseClick(accountRow("btc-0"))
            compare(router.route, "account")
            compare(selectedRows(), ["btc-0"])
            mouseClick(portfolioRow)
            compare(router.route, "portfolio")
            verify(find("portfolioView"))
            compare(selectedRows(), [])
            // An index past the list: no account, the portfolio.
            fixture.select(2, 1)
            compare(router.route, "portfolio")
            compare(selectedRows(), [])
        }

        function test_3_lockButtonLocks() {
            mouseClick(find("lockButton"))
            compare(view.face, "lock")
        }

        function test_4_windowMenuAndReopen() {
            const window = openWindow()
            // Showing the window loads the stored state: the stored wallet is locked.
            window.show()
            // The unlock below lets events run: the appear action must have run before it.
            waitForRendering(window.contentItem)
            tryCompare(window.rootView, "face", "lock")
            verify(!window.exportBackupAction.enabled)
            verify(window.restoreBackupAction.enabled)
            // The backup sheets are made when first opened, not with the window.
            compare(findAll(window.contentItem, "BackupRestoreSheet", [], new Set()).length, 0)
            compare(findAll(window.contentItem, "BackupExportSheet", [], new Set()).length, 0)
            window.restoreBackupAction.trigger()
            const restore = findAll(window.contentItem, "BackupRestoreSheet", [], new Set())
            compare(restore.length, 1)
            tryCompare(restore[0], "opened", true)
            restore[0].close()
            tryCompare(restore[0], "visible", false)
            fixture.unlock()
            tryVerify(function() { return window.exportBackupAction.enabled })
            // Closing keeps the state; showing it again loads the stored state anew.
            window.close()
            compare(window.rootView.face, "main")
            window.showMain()
            tryCompare(window.rootView, "face", "lock")
            verify(!window.exportBackupAction.enabled)
        }

        // A window goes in one piece when the script engine's collector runs while it is being
        // destroyed (here an item of the window starts it as it goes).
        function test_4a_aWindowGoesWholeWhileTheCollectorRuns() {
            const window = openWindow({}, "CollectingWindow.qml")
            window.show()
            tryCompare(window.rootView, "face", "lock")
            waitForRendering(window.contentItem)
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

        function test_5a_helpAndMenusReadTheirTexts() {
            compare(view.face, "main")
            // The refresh help counts the seconds since the last refresh while it is shown.
            fixture.setLastRefreshNow()
            wait(1100)
            const refresh = find("refreshButton")
            mouseMove(refresh, 5, 5)
            const help = findAll(refresh, "help", [], new Set())[0]
            tryVerify(() => /^Last refresh: [1-9]\d*s ago$/.test(help.text), 5000, help.text)
            mouseMove(view, 600, 400)

            // At the window's smallest size the sidebar's accounts overflow: its bar shows.
            top.height = 600
            const list = find("accountList")
            tryVerify(() => list.contentHeight > list.availableHeight)
            compare(list.ScrollBar.vertical.policy, ScrollBar.AlwaysOn)
            top.height = 700
            tryVerify(() => list.contentHeight <= list.availableHeight
                      || list.ScrollBar.vertical.policy === ScrollBar.AlwaysOn)

            // The window's menus show their shortcuts; Escape leaves "File" unlit.
            const window = openWindow()
            window.show()
            window.requestActivate()
            tryVerify(() => window.active)
            const bar = window.menuBar
            const fileItem = bar.itemAt(0)
            mouseClick(fileItem)
            tryCompare(fileItem.menu, "opened", true)
            const shortcuts = findAll(fileItem.menu.contentItem, "menuShortcut", [], new Set())
                .map(t => t.text).filter(t => t.length > 0)
            compare(shortcuts, ["Ctrl+W", "Ctrl+Shift+E", "Ctrl+Shift+R", "Ctrl+Q"])
            fixture.keyClick(window, Qt.Key_Escape)
            tryCompare(fileItem.menu, "visible", false)
            const lit = findAll(fileItem, "menuBarItemBackground", [], new Set())[0]
            mouseMove(window.contentItem, 600, 400)
            tryVerify(() => lit.color.a === 0, 5000, "File stays lit")
            // Showing the window locked the wallet, as every appearance does.
            fixture.unlock()
        }

        // Pixels close to `colour` in the image's part at x0, y0, width, height.
        function pixelsLike(image, colour, x0, y0, width, height) {
            let count = 0
            for (let y = Math.floor(y0); y < y0 + height; ++y) {
                for (let x = Math.floor(x0); x < x0 + width; ++x) {
                    const c = image.pixel(x, y)
                    if (Math.abs(c.r - colour.r) + Math.abs(c.g - colour.g)
                            + Math.abs(c.b - colour.b) < 0.3)
                        ++count
                }
            }
            return count
        }

        function test_5aa_refreshShowsAVisibleBusyMarkInEveryTheme() {
            fixture.unlock()
            compare(view.face, "main")
            for (const theme of BRThemeManager.themes) {
                BRThemeManager.current = theme
                fixture.setRefreshing(true)
                const spinner = find("refreshSpinner")
                verify(spinner, theme)
                verify(!find("refreshButton"), theme)
                waitForRendering(spinner)
                const at = spinner.mapToItem(top, 0, 0)
                const lit = pixelsLike(grabImage(top), BRPalette.accent, at.x, at.y,
                                       spinner.width, spinner.height)
                verify(lit >= 6, theme + ": " + lit + " pixels of the mark in the accent colour")
                // It moves: one step at a time, a few a second.
                const step = spinner.step
                tryVerify(() => spinner.step !== step)
                fixture.setRefreshing(false)
                verify(find("refreshButton"), theme)
            }
        }

        // The contrast ratio of two colours (1 to 21), from their relative luminances.
        function contrast(a, b) {
            const channel = c => c <= 0.03928 ? c / 12.92 : Math.pow((c + 0.055) / 1.055, 2.4)
            const luminance = c => 0.2126 * channel(c.r) + 0.7152 * channel(c.g)
                                   + 0.0722 * channel(c.b)
            const [hi, lo] = [luminance(a), luminance(b)].sort((x, y) => y - x)
            return (hi + 0.05) / (lo + 0.05)
        }

        // At the window's smallest size the tallest sheets stay below its menu bar and inside
        // it; off, the TLS switch's outline and knob stand out from the sheet in every theme.
        function test_5ab_sheetsStayBelowTheMenuBar() {
            const window = openWindow({width: 900, height: 620})
            window.show()
            waitForRendering(window.contentItem)
            fixture.unlock()
            tryCompare(window.rootView, "face", "main")
            const inWindow = name => findAll(window.contentItem, name, [], new Set()).find(
                found => found.objectName === name && found.visible !== false) || null
            mouseClick(inWindow("settingsButton"))
            const settings = findAll(window.contentItem, "SettingsView", [], new Set())[0]
            tryCompare(settings, "opened", true)
            const bar = window.menuBar
            const barBottom = bar.mapToItem(null, 0, bar.height).y
            verify(barBottom > 10, "the menu bar is " + barBottom + " high")
            const box = settings.background
            const top = box.mapToItem(null, 0, 0).y
            verify(top >= barBottom, "the sheet's top at " + top + ", the bar's bottom at " + barBottom)
            verify(top + box.height <= window.height, "the sheet's bottom at " + (top + box.height))

            const tls = inWindow("tlsSwitch")
            if (tls.checked)
                mouseClick(tls)
            verify(!tls.checked)
            for (const theme of BRThemeManager.themes) {
                BRThemeManager.current = theme
                const track = inWindow("tlsSwitchTrack")
                // Over the sheet and its panel (a fill between these two).
                for (const backdrop of [BRPalette.backgroundSecondary, BRPalette.surface])
                    verify(contrast(track.border.color, backdrop) >= 3,
                           theme + ": the off track's outline")
                verify(contrast(inWindow("tlsSwitchKnob").color, track.color) >= 3,
                       theme + ": the off knob")
                waitForRendering(window.contentItem)
                fixture.grabWindow(window, "settings-smallest-window-" + theme.replace(/ /g, "-"))
            }
            mouseClick(tls) // back on, as the fixture's server wants
            fixture.keyClick(window, Qt.Key_Escape)
            tryCompare(settings, "visible", false)
            fixture.unlock() // showing the window locked the wallet
        }

        function texts(item, out, seen) {
            if (!item || seen.has(item))
                return out
            seen.add(item)
            if (item.textFormat !== undefined && typeof item.text === "string")
                out.push(item)
            const children = item.data || item.children || []
            for (let i = 0; i < children.length; ++i)
                texts(children[i], out, seen)
            if (item.contentItem && item.contentItem !== item)
                texts(item.contentItem, out, seen)
            return out
        }

        function test_5b_serverMarkupIsShownAsText() {
            fixture.unlock()
            compare(view.face, "main")
            const before = fixture.webRequests()
            const hostile = fixture.setHostileEthereumStatus()
            // On screen in the Ethereum dot's help and in the Network tab.
            mouseMove(find("chainDot_1"), 2, 2)
            click("settingsButton")
            const settings = find("SettingsView")
            tryCompare(settings, "opened", true)
            const status = findAll(find("statusCell_Ethereum"), "statusText", [], new Set())[0]
            tryCompare(status, "text", hostile)
            wait(700)
            const shown = texts(top.parent, [], new Set()).filter(t => t.text.indexOf("<img") >= 0)
            verify(shown.length >= 2, "texts showing the status: " + shown.length)
            for (const text of shown) {
                compare(text.textFormat, Text.PlainText, text.text)
                verify(text.contentWidth > 100, "the markup is laid out as text")
            }
            compare(fixture.webRequests(), before)
            keyClick(Qt.Key_Escape)
            tryCompare(settings, "visible", false)
        }

        // A connection's change redraws its dot and its line in the network panel: the items
        // stay (made anew, each with its glow, they drew the window again at every change).
        function test_5ba_aConnectionChangeKeepsTheDots() {
            fixture.unlock()
            compare(view.face, "main")
            const dot = find("chainDot_1")
            const line = find("networkLine_1")
            verify(dot && line)
            const lineTip = line.modelData.tooltip
            fixture.connectEthereum("eth.test")
            tryVerify(() => find("chainDot_1").tooltip === "Ethereum: Connected: eth.test")
            verify(find("chainDot_1") === dot, "the Ethereum dot was made anew")
            verify(find("networkLine_1") === line, "the Ethereum line was made anew")
            verify(line.modelData.tooltip !== lineTip, line.modelData.tooltip)
        }

        function descendants(item, out, seen) {
            if (!item || seen.has(item))
                return out
            seen.add(item)
            out.push(item)
            const children = item.data || item.children || []
            for (let i = 0; i < children.length; ++i)
                descendants(children[i], out, seen)
            if (item.contentItem && item.contentItem !== item)
                descendants(item.contentItem, out, seen)
            return out
        }

        function test_5c_everyChainListedOnceAndAlike() {
            fixture.unlock()
            compare(view.face, "main")
            // The sidebar's network panel tells each chain apart by its own label.
            const panel = find("networkSection")
            const labels = texts(panel, [], new Set()).map(t => t.text)
            for (const label of ["BTC", "ETH", "ARB", "POL", "SOL"])
                compare(labels.filter(t => t === label).length, 1, label)

            click("settingsButton")
            const settings = find("SettingsView")
            tryCompare(settings, "opened", true)
            // Every chain of the status bar has its section and its status cell.
            for (const name of ["Ethereum", "Arbitrum", "Polygon", "Solana"])
                verify(find("rpcSection_" + name), name)
            for (const name of ["Bitcoin", "Ethereum", "Arbitrum", "Polygon", "Solana"])
                verify(find("statusCell_" + name), name)
            // Arbitrum wears the same symbol here as on its account in the sidebar.
            const disc = descendants(accountRow("arb-0"), [], new Set()).find(
                i => i.systemName !== undefined)
            compare(findAll(find("rpcSection_Arbitrum"), "sectionSymbol", [], new Set())[0].name,
                    disc.systemName)
            // Solana's Reconnect tries Solana's endpoints.
            // (The cells are made anew with each change of the pools.)
            const solana = () => findAll(find("statusCell_Solana"), "statusText", [],
                                         new Set())[0].text
            const before = solana()
            find("reconnectButton_Solana").clicked() // below the tab's fold
            tryVerify(() => solana() !== before, 10000, solana())
            verify(/^(Connecting to|Connected: |Failed: |All RPCs failed)/.test(solana()),
                   solana())
            keyClick(Qt.Key_Escape)
            tryCompare(settings, "visible", false)
        }

        // The pixels of `item` (every other one each way) that differ between two grabs.
        function pixelsChanged(item, one, other) {
            const at = item.mapToItem(top, 0, 0)
            let changed = 0
            for (let y = Math.ceil(at.y); y < at.y + item.height; y += 2) {
                for (let x = Math.ceil(at.x); x < at.x + item.width; x += 2) {
                    if (!Qt.colorEqual(one.pixel(x, y), other.pixel(x, y)))
                        ++changed
                }
            }
            return changed
        }

        function test_5d_scrolledContentStaysOutOfTheStatusBar() {
            fixture.unlock()
            compare(view.face, "main")
            top.height = 620
            const list = find("portfolioList")
            const bar = find("statusBar")
            const grabAt = y => {
                if (list.contentY !== y) {
                    list.contentY = y
                    waitForRendering(view)
                }
                return grabImage(top)
            }
            // The bar shows live states (connections come and go, the relay's after every
            // unlock): a look counts when the bar is the same before scrolling and once
            // scrolled back.
            let changed = -1
            for (let look = 0; look < 20 && changed < 0; ++look) {
                const still = grabAt(0)
                const scrolled = grabAt(400)
                if (pixelsChanged(bar, still, grabAt(0)) === 0)
                    changed = pixelsChanged(bar, still, scrolled)
            }
            verify(changed >= 0, "the status bar never held still")
            compare(changed, 0, "pixels of the status bar changed by scrolling")
        }

        function test_5e_everyControlHasANameAndItsState() {
            fixture.unlock()
            compare(view.face, "main")
            compare(fixture.unnamedControls(top.parent), [])
            compare(fixture.accessibility(find("portfolioButton")).name, "Portfolio")
            click("settingsButton")
            const settings = find("SettingsView")
            tryCompare(settings, "opened", true)
            // What the sheet covers is out of reach, and read so.
            const behind = fixture.accessibility(find("portfolioButton"))
            compare([behind.showing, behind.enabled], [false, false], "the sidebar behind the sheet")
            compare(fixture.accessibility(find("closeSheetButton")).showing, true)
            for (const tab of ["Network", "Security", "Appearance"]) {
                const told = fixture.accessibility(find("settingsTab_" + tab))
                compare([told.name, told.role], [tab, 0x25], tab) // a page tab
                click("settingsTab_" + tab)
                compare(fixture.unnamedControls(top.parent), [], tab)
            }
            compare(fixture.accessibility(find("closeSheetButton")).name, "Close")
            keyClick(Qt.Key_Escape)
            tryCompare(settings, "visible", false)
            const uncovered = fixture.accessibility(find("portfolioButton"))
            compare([uncovered.showing, uncovered.enabled], [true, true], "the sidebar again")
        }

        // Every text of every screen and sheet of the shell reaches a screen reader; each sheet
        // is a dialog named by its title.
        function test_5f_everyTextIsRead() {
            fixture.unlock()
            compare(view.face, "main")
            find("portfolioList").positionViewAtBeginning()
            compare(fixture.unexposedTexts(top), [], "the portfolio")
            // The total, a figure drawn character by character, reads whole.
            const total = fixture.accessibility(find("portfolioTotal"))
            compare([total.name, total.role, total.showing],
                    [find("portfolioTotal").text, 0x29, true], "the total") // static text
            for (const chain of [0, 1, 2, 3, 4]) {
                fixture.select(chain, 0)
                verify(find("accountDetailView"))
                compare(fixture.unexposedTexts(top), [], "the account of chain " + chain)
            }
            fixture.select(0, 0)
            click("btcTab_Indirizzi")
            tryVerify(() => find("btcAddressList"))
            compare(fixture.unexposedTexts(top), [], "the Bitcoin addresses")
            keyClick(Qt.Key_Escape)
            compare(find("detailRouter").route, "portfolio")

            const sheets = [["settingsButton", "SettingsView", "Settings"],
                            ["nameButton", "aboutSheet", "Quillmark"],
                            ["keyButton", "SeedRevealSheet", "Recovery Phrase"]]
            for (const [button, name, title] of sheets) {
                click(button)
                const sheet = find(name)
                tryCompare(sheet, "opened", true)
                const told = fixture.accessibility(sheet)
                compare([told.name, told.role, told.showing], [title, 0x12, true], name) // a dialog
                compare(fixture.unexposedTexts(top), [], name)
                if (name === "SettingsView") {
                    for (const tab of ["Appearance", "Network", "Security"]) {
                        click("settingsTab_" + tab)
                        compare(fixture.unexposedTexts(top), [], tab)
                    }
                    click("deleteWalletButton")
                    const alert = find("deleteWalletAlert")
                    tryCompare(alert, "opened", true)
                    compare(fixture.accessibility(alert).name, "Delete Wallet?")
                    compare(fixture.unexposedTexts(top), [], "the delete alert")
                    click("alertCancelButton")
                    tryCompare(alert, "visible", false)
                }
                if (name === "SeedRevealSheet") {
                    type("revealPasswordField", "correct horse")
                    click("revealSeedButton")
                    tryVerify(() => find("wordCell_12"))
                    compare(fixture.unexposedTexts(top), [], "the revealed phrase")
                }
                keyClick(Qt.Key_Escape)
                tryCompare(sheet, "visible", false)
            }

            fixture.lock()
            compare(view.face, "lock")
            compare(fixture.unexposedTexts(top), [], "the lock screen")
            fixture.unlock()
        }

        // A record of sent transactions that the unlock cannot read is set aside, and said
        // once: over the wallet, read by a screen reader, dismissed from the keyboard; the next
        // unlock has nothing to say.
        function test_5fa_anUnreadableRecordIsToldOnce() {
            fixture.lock()
            const aside = fixture.breakUnsettledRecord()
            fixture.unlock()
            compare(view.face, "main")
            const alert = find("unreadableAttemptsAlert")
            verify(alert)
            tryCompare(alert, "opened", true)
            compare(find("unreadableAttemptsMessage").text,
                    "The wallet's record of the transactions it sent could not be read. It was "
                    + "set aside, as it was, in " + aside + ". Transactions sent earlier may "
                    + "still go through; the history shows what the chain has.")
            const told = fixture.accessibility(alert)
            compare([told.name, told.role, told.showing],
                    ["Sent Transactions Could Not Be Read", 0x12, true]) // a dialog
            compare(fixture.unexposedTexts(top), [], "the notice")
            const ok = find("unreadableAttemptsOK")
            compare(fixture.accessibility(ok).name, "OK")
            verify(ok.activeFocus)
            keyClick(Qt.Key_Space)
            tryVerify(() => !find("unreadableAttemptsAlert"))
            compare(WalletShell.unreadableAttemptsNotice, "")
            fixture.lock()
            fixture.unlock()
            compare(view.face, "main")
            verify(!find("unreadableAttemptsAlert"))
        }

        // What is scrolled away under the status bar or the network panel is not read as
        // showing; scrolled back, it is.
        function test_5g_scrolledAwayIsNotShowing() {
            fixture.unlock()
            compare(view.face, "main")
            top.height = 450
            const showing = item => fixture.accessibility(item).showing
            // The sidebar's rows as read, and as they lie in the list's view.
            const sidebar = find("accountList")
            const accounts = sidebar.contentItem
            const buttons = ["btc-0", "eth-0", "arb-0", "poly-0", "sol-0"].map(
                id => findAll(accountRow(id), "accountRowButton", [], new Set())[0])
            const inView = () => buttons.map(button => {
                const y = button.mapToItem(sidebar, 0, 0).y
                return y + button.height > 0 && y < sidebar.height
            })
            tryVerify(() => accounts.contentHeight > accounts.height)
            for (const y of [0, accounts.contentHeight - accounts.height]) {
                accounts.contentY = y
                tryVerify(() => inView().includes(true) && inView().includes(false), 5000,
                          String(inView()))
                compare(buttons.map(showing), inView(), "scrolled to " + y)
            }
            accounts.contentY = 0

            // The portfolio's Send scrolled up under the status bar.
            const list = find("portfolioList")
            list.positionViewAtBeginning()
            const send = find("portfolioSend")
            compare(showing(send), true)
            list.contentY += send.mapToItem(list, 0, send.height).y
            compare(showing(send), false)
            list.positionViewAtBeginning()
            compare(showing(send), true)
        }

        function test_6_recoveryPhraseAndDeleteWallet() {
            click("keyButton")
            const sheet = find("SeedRevealSheet")
            tryCompare(sheet, "opened", true)
            keyClick(Qt.Key_Return)
            tryVerify(() => (find("revealError") || {}).text === "Wrong password.")
            type("revealPasswordField", "correct horse")
            // Named by the text that asks for it; its text read as the mask, never as typed.
            const field = fixture.accessibility(find("revealPasswordField"))
            compare(field.name, "Enter your password to reveal your seed phrase.")
            compare([field.text.length, new Set(field.text).size], [13, 1], field.text)
            verify(!"correct horse".includes(field.text[0]), "a typed character read out")
            compare(field.value, field.text)
            click("revealSeedButton")
            tryVerify(() => find("wordCell_12"))
            // Each word is read out as the word.
            const last = findAll(find("wordCell_12"), "word", [], new Set()).find(
                found => found.objectName === "word")
            compare(fixture.accessibility(last).name, "about")
            verify(!find("clipboardNote"))
            click("copyAllButton")
            const phrase = "abandon abandon abandon abandon abandon abandon abandon "
                    + "abandon abandon abandon abandon about"
            compare(Clipboard.text(), phrase)
            verify(find("clipboardNote"), "the note of when it leaves the clipboard")
            // Done closes; the next opening asks for the password again.
            click("revealDoneButton")
            tryCompare(sheet, "visible", false)
            click("keyButton")
            tryCompare(sheet, "opened", true)
            compare(find("revealPasswordField").text, "")
            verify(!find("wordCell_1"))
            keyClick(Qt.Key_Escape)
            tryCompare(sheet, "visible", false)
            // Closed, the phrase is still on the clipboard; locking takes it off.
            compare(Clipboard.text(), phrase)
            fixture.lock()
            compare(Clipboard.text(), "")
            fixture.unlock()

            // The Security tab warns first, then opens its own sheet over the settings.
            click("settingsButton")
            click("settingsTab_Security")
            click("showRecoveryPhraseButton")
            const warning = find("securityWarningAlert")
            // Over the sheet, the alert alone is in reach.
            compare(fixture.accessibility(find("alertConfirmButton")).showing, true)
            compare(fixture.accessibility(find("settingsTab_Security")).showing, false)
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
