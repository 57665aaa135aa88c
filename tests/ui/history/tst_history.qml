import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui
import "../shared/Popups.js" as Popups

Item {
    id: top
    width: 820
    height: 1000

    AccountDetailView {
        id: view
        anchors.fill: parent
    }

    property int frames: 0
    Connections {
        target: top.Window.window
        function onAfterAnimating() { top.frames++ }
    }

    TestCase {
        id: testCase
        name: "History"
        when: windowShown

        // Through items, their resources (popups) and contents.
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
        function find(name, root) {
            return findAll(root || top, name, [], new Set()).find(
                f => f.objectName === name) || null
        }
        function shown(name, root) {
            const item = find(name, root)
            if (!item)
                return false
            for (let p = item; p; p = p.parent)
                if (!p.visible)
                    return false
            return true
        }
        function textOf(name, root) {
            const item = find(name, root)
            return item ? item.text : undefined
        }
        function list() {
            const l = find("accountHistory") || find("tokenHistory")
            l.forceLayout()
            return l
        }
        // The delegates of the history list, in list order (the lists here fit the view).
        function rows() {
            const l = list()
            const out = []
            for (let i = 0; i < l.count; ++i)
                out.push(l.itemAtIndex(i))
            return out
        }
        function rowIds() { return rows().map(r => r.entryId) }
        function row(id) { return rows().find(r => r.entryId === id) || null }
        // The runs of ink met going once round the symbol's circle line, on the window as
        // drawn: none for a line drawn whole, one per dot for a dotted one.
        function inkRunsOnRing(symbol) {
            const image = grabImage(top)
            const centre = symbol.mapToItem(top, symbol.width / 2, symbol.height / 2)
            const back = image.pixel(Math.round(centre.x), Math.round(centre.y))
            const ring = symbol.font.pixelSize * 9 / 24
            const samples = 240
            const inked = []
            for (let i = 0; i < samples; ++i) {
                const a = 2 * Math.PI * i / samples
                const c = image.pixel(Math.round(centre.x + ring * Math.cos(a)),
                                      Math.round(centre.y + ring * Math.sin(a)))
                inked.push(Math.abs(c.r - back.r) + Math.abs(c.g - back.g)
                           + Math.abs(c.b - back.b) > 0.15)
            }
            let runs = 0
            for (let i = 0; i < samples; ++i)
                runs += inked[i] && !inked[(i + samples - 1) % samples] ? 1 : 0
            return runs
        }
        // What keeps stepping under `item`: running repeating timers and running animations.
        function stepping(item, out, seen) {
            if (!item || seen.has(item))
                return out
            seen.add(item)
            const kind = String(item)
            if (item.running === true && ((kind.startsWith("QQmlTimer") && item.repeat)
                                          || /Animation/.test(kind)))
                out.push(kind + " " + (item.objectName || ""))
            const children = item.data || item.children || []
            for (let i = 0; i < children.length; ++i)
                stepping(children[i], out, seen)
            if (item.contentItem && item.contentItem !== item)
                stepping(item.contentItem, out, seen)
            return out
        }
        // Whether a sheet of that name is open (each screen has its own hosts).
        function sheetOpen(name) {
            return findAll(top, name, [], new Set()).some(s => s.objectName === name && s.visible)
        }

        // Every text the window shows reaches a screen reader; `sheet`, where given, is a
        // dialog named `title`.
        function allRead(where, sheet, title) {
            compare(fixture.unexposedTexts(top), [], where)
            if (sheet) {
                const told = fixture.accessibility(sheet)
                compare([told.name, told.role], [title, 0x12], where) // a dialog
            }
        }

        function init() {
            fixture.clear()
            fixture.fill()
            view.detail.closeTokenDetail()
            view.btcTab = "Portfolio"
            wait(30)
        }

        // The theme the tests start in.
        property string startTheme: ""

        function initTestCase() {
            startTheme = BRThemeManager.current
        }

        // What a test changes for a while goes back after it, even when it failed halfway, so
        // that one failure stays one: the sheets left open, the theme and the window's height.
        // (Each test starts on the fixture's accounts, at the account screen: see init.)
        function cleanup() {
            Popups.closeAll(testCase, top.parent)
            BRThemeManager.current = startTheme
            top.height = 1000
        }

        function test_1_bitcoinRowsAndStatusTexts() {
            fixture.select(0, 0)
            wait(50)
            compare(textOf("accountBalance"), "0.00150000 BTC")
            // The whole history, newest first.
            compare(rowIds().length, 3)
            compare(textOf("transactionCount"), "3")
            const [pending, sent, failed] = rows()
            compare(textOf("rowTitle", pending), "Received BTC")
            compare(textOf("rowAmount", pending), "+0.00100000 BTC")
            compare(find("rowAmount", pending).color, BRPalette.success)
            compare(textOf("rowStatus", pending), "0/6 conf")
            compare(find("rowStatusDot", pending).color, BRPalette.warning)
            // A received entry names its sender; 14 characters stay whole.
            compare(textOf("rowCounterparty", pending), "bc1q0123456789")
            compare(textOf("rowAge", pending), "just now")
            // A sent one its recipient; 15 characters are shortened to 13.
            compare(textOf("rowTitle", sent), "Sent BTC")
            compare(textOf("rowAmount", sent), "-0.00050000 BTC")
            compare(find("rowAmount", sent).color, BRPalette.error)
            compare(textOf("rowCounterparty", sent), "bc1q01...7890")
            compare(textOf("rowStatus", sent), "Confirmed")
            compare(textOf("rowAge", sent), "2 hr ago")
            compare(textOf("rowStatus", failed), "Failed")
            compare(find("rowStatus", failed).color, BRPalette.error)
            // No timestamp: neither the dot nor an age.
            verify(!shown("rowDot", failed))
            verify(!shown("rowAge", failed))
            verify(shown("rowDot", sent))
        }

        function test_2_evmListsNativeTransfersOnly() {
            fixture.select(1, 0)
            wait(50)
            // Two native entries; the three token transfers, the symbol-less one included, are
            // the token screens'.
            compare(rows().map(r => r.title), ["Received ETH", "Sent ETH"])
            compare(textOf("transactionCount"), "2")
            compare(textOf("rowStatus", rows()[1]), "Pending")
            compare(textOf("rowCounterparty", rows()[0]), "0x1111...1111")
            compare(textOf("rowAge", rows()[1]), "3 days ago")
            for (const r of rows())
                verify(r.title.indexOf("?") < 0)
            // Solana lists everything, literally.
            fixture.select(4, 0)
            wait(50)
            compare(rows().length, 2)
            compare(textOf("rowAmount", rows()[1]), "-<b>9</b> SOL")
            compare(find("rowAmount", rows()[1]).textFormat, Text.PlainText)
        }

        function test_3_emptyAndUnknownAccounts() {
            fixture.select(3, 0)
            wait(50)
            compare(textOf("accountBalance"), "0.000000 POL")
            verify(shown("transactionsEmpty"))
            verify(!shown("transactionsHeader"))
            compare(textOf("transactionsEmptyNote"),
                    "Transactions will appear here once you send or receive funds.")
            verify(shown("noTokens"))
            verify(!shown("tokenCount"))
            verify(shown("noTokensSymbol"))
            // The placeholder stands in the middle of the section, its circle dotted.
            const section = find("tokensSection")
            const centreOf = item => item.mapToItem(section, item.width / 2, 0).x
            fuzzyCompare(centreOf(find("noTokensText")), section.width / 2, 1)
            compare(find("noTokensText").effectiveHorizontalAlignment, Text.AlignHCenter)
            fuzzyCompare(centreOf(find("noTokensSymbol")), section.width / 2, 1)
            compare(inkRunsOnRing(find("noTokensSymbol")), 12)
            // An account that has no state: zero, and no history.
            fixture.clear()
            fixture.select(2, 0)
            wait(50)
            verify(!view.detail.hasAccount)
        }

        function test_4_detailSheetShowsTheCopyItWasGiven() {
            fixture.select(0, 0)
            wait(50)
            mouseClick(rows()[1])
            tryVerify(() => sheetOpen("transactionDetailSheet"))
            const sheet = find("transactionDetailSheet")
            compare(textOf("detailTitle", sheet), "Sent BTC")
            allRead("the transaction", sheet, "Sent BTC")
            compare(textOf("detailAmount", sheet), "-0.00050000 BTC")
            compare(find("detailStatus", sheet).status, "confirmed")
            compare(find("cardHash", sheet).visible, true)
            compare(textOf("blockHeight", sheet), "840000")
            compare(textOf("confirmations", sheet), "3")
            compare(find("confirmations", sheet).color, BRPalette.success)
            compare(textOf("fee", sheet), "0.00000420 BTC")
            compare(textOf("network", sheet), "Bitcoin")
            verify(!find("tokenPair", sheet).visible)
            compare(textOf("explorerLabel", sheet), "View on Mempool")
            find("explorerLink", sheet).clicked()
            compare(fixture.openedUrls().slice(-1)[0],
                    "https://mempool.space/tx/" + "b".repeat(64))
            mouseClick(find("transactionDetailDone", sheet))
            tryVerify(() => !sheetOpen("transactionDetailSheet"))

            // The failed entry has no block height and no date: their cards are left out.
            mouseClick(rows()[2])
            tryVerify(() => sheetOpen("transactionDetailSheet"))
            verify(!find("cardBlock", sheet).visible)
            verify(find("cardConfirmations", sheet).visible)
            compare(find("confirmations", sheet).color, BRPalette.textTertiary)
            verify(!find("cardDate", sheet).visible)
            verify(!find("cardFee", sheet).visible)
            find("transactionDetailDone", sheet).clicked()
            tryVerify(() => !sheetOpen("transactionDetailSheet"))

            // A refresh while the sheet is open changes the list, not the sheet.
            fixture.select(1, 0)
            wait(50)
            const opened = rows()[0].entryId
            mouseClick(rows()[0])
            tryVerify(() => sheetOpen("transactionDetailSheet"))
            compare(find("copyableValue", find("cardHash", sheet)).text, opened)
            compare(textOf("confirmations", sheet), "1")
            // The hash is drawn elided but selects whole.
            const hash = find("copyableValue", find("cardHash", sheet))
            mouseClick(hash, 10, hash.height / 2)
            tryVerify(() => hash.isSelecting)
            verify(!find("selectableValueText", hash).visible)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            compare(find("selectableValueInput", hash).selectedText, opened)
            fixture.refreshEthereumHistory()
            wait(50)
            compare(rows()[0].title, "Sent ETH")
            compare(rows().length, 3)
            compare(find("copyableValue", find("cardHash", sheet)).text, opened)
            compare(textOf("confirmations", sheet), "1")
            compare(textOf("detailTitle", sheet), "Received ETH")
            compare(textOf("date", sheet).length > 10, true)
            find("transactionDetailDone", sheet).clicked()
            tryVerify(() => !sheetOpen("transactionDetailSheet"))
        }

        // Each copy button of the detail is named after the value it copies, as a screen
        // reader tells them apart: "Copy sender address bc1q...".
        function test_4a_copyButtonsNameTheirValues() {
            fixture.select(1, 0)
            wait(50)
            mouseClick(rows()[0])
            tryVerify(() => sheetOpen("transactionDetailSheet"))
            const sheet = findAll(top, "transactionDetailSheet", [], new Set()).find(
                s => s.visible)
            for (const [card, subject] of [["cardHash", "transaction hash"],
                                           ["cardFrom", "sender address"],
                                           ["cardTo", "recipient address"]]) {
                const value = textOf("copyableValue", find(card, sheet))
                verify(value.length > 0, card)
                const told = fixture.accessibility(find("copyValueButton", find(card, sheet)))
                compare(told.name, "Copy " + subject + " " + value, card)
            }
            find("transactionDetailDone", sheet).clicked()
            tryVerify(() => !sheetOpen("transactionDetailSheet"))
        }

        function test_5_explorerLinksAndHostileHashes() {
            fixture.select(4, 0)
            wait(50)
            const sheet = find("transactionDetailSheet")
            mouseClick(rows()[0])
            tryVerify(() => sheetOpen("transactionDetailSheet"))
            compare(textOf("explorerLabel", sheet), "View on Solscan")
            verify(find("explorerLink", sheet).visible)
            find("explorerLink", sheet).clicked()
            compare(fixture.openedUrls().slice(-1)[0],
                    "https://solscan.io/tx/" + fixture.solanaSignature())
            find("transactionDetailDone", sheet).clicked()
            tryVerify(() => !sheetOpen("transactionDetailSheet"))
            // A server's hash of the wrong shape gives no link at all; the rest is shown.
            const before = fixture.openedUrls().length
            mouseClick(rows()[1])
            tryVerify(() => sheetOpen("transactionDetailSheet"))
            verify(!find("explorerLink", sheet).visible)
            compare(find("copyableValue", find("cardHash", sheet)).text,
                    "not-a-signature/../../x?y=<b>")
            verify(find("cardNetwork", sheet).visible)
            compare(fixture.openedUrls().length, before)
            find("transactionDetailDone", sheet).clicked()
            tryVerify(() => !sheetOpen("transactionDetailSheet"))
        }

        function test_6_accountScreenPerChain() {
            // Bitcoin: no Swap, no chips, no tokens; the address tab replaces the content.
            fixture.select(0, 0)
            wait(50)
            verify(shown("accountSend") && shown("accountReceive"))
            verify(!shown("accountSwap"))
            verify(!shown("quickSwap"))
            verify(!shown("tokenCount") && !shown("noTokens"))
            verify(shown("btcTabs"))
            verify(shown("priceChartView"))
            allRead("Bitcoin")
            mouseClick(find("btcTab_Indirizzi"))
            compare(view.btcTab, "Indirizzi")
            tryVerify(() => shown("btcAddressList"))
            allRead("Bitcoin's addresses")
            verify(!shown("priceChartView"))
            verify(!shown("transactionsHeader") && !shown("transactionsEmpty"))
            compare(rows().length, 0)
            // The tab stays while the sidebar switches away and back.
            fixture.select(1, 0)
            fixture.select(0, 0)
            wait(50)
            compare(view.btcTab, "Indirizzi")
            mouseClick(find("btcTab_Portfolio"))
            tryVerify(() => shown("priceChartView"))
            compare(rows().length, 3)

            // Ethereum: Swap and tokens, no chips.
            fixture.select(1, 0)
            wait(50)
            verify(shown("accountSwap"))
            verify(!shown("quickSwap"))
            verify(!shown("btcTabs"))
            compare(textOf("tokenCount"), "3")
            compare(textOf("accountBalance"), "1.250000 ETH")
            const tokenRows = findAll(view, "accountToken_", [], new Set())
            compare(tokenRows.length, 3)
            compare(textOf("tokenRowAmount", tokenRows[0]), "999.5000 USDC")
            compare(textOf("tokenRowValue", tokenRows[1]), "< $0.01")
            compare(textOf("tokenRowValue", tokenRows[2]), "\u2014") // no price
            allRead("Ethereum")
            // The address, a read-only field to select from, reads as the text it shows.
            const address = find("accountAddress").children[0]
            const told = fixture.accessibility(address)
            compare([told.role, told.name], [0x29, address.text]) // static text

            // Arbitrum: the chips as well.
            fixture.select(2, 0)
            wait(50)
            verify(shown("quickSwap"))
            verify(shown("quickSwap_USDC") && shown("quickSwap_ETH") && shown("quickSwap_NOVR"))
            compare(textOf("accountBalance"), "0.500000 ETH")
            allRead("Arbitrum")

            // Solana: Swap, no tokens section.
            fixture.select(4, 0)
            wait(50)
            verify(shown("accountSwap"))
            verify(!shown("tokenCount") && !shown("noTokens"))
            compare(textOf("accountBalance"), "2.5000 SOL")
            allRead("Solana")
        }

        function test_7_actionsOpenTheirSheets() {
            fixture.select(2, 0)
            wait(50)
            const close = name => { find(name).close(); tryVerify(() => !sheetOpen(name)) }
            mouseClick(find("accountSend"))
            tryVerify(() => sheetOpen("sendSheet"))
            allRead("the send sheet", find("sendSheet"), "Send ETH")
            compare(find("sendSheet").chain, 2)
            compare(find("sendSheet").preselectedToken, null)
            close("sendSheet")
            mouseClick(find("accountReceive"))
            tryVerify(() => sheetOpen("receiveSheet"))
            allRead("the receive sheet", find("receiveSheet"), "Receive ETH")
            compare(find("receiveSheet").address, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf")
            close("receiveSheet")
            for (const name of ["accountSwap", "quickSwap_USDC", "quickSwap_ETH"]) {
                mouseClick(find(name))
                tryVerify(() => sheetOpen("swapSheet"), 5000, name)
                allRead(name, find("swapSheet"), "Swap")
                compare(find("swapSheet").chain, 2)
                close("swapSheet")
            }
            mouseClick(find("quickSwap_NOVR"))
            tryVerify(() => sheetOpen("novrSwapSheet"))
            allRead("the sale", find("novrSwapSheet"), "Nova Crest")
            close("novrSwapSheet")
            verify(!sheetOpen("swapSheet"))
        }

        function test_8_tokenScreen() {
            fixture.select(2, 0)
            wait(50)
            mouseClick(findAll(view, "accountToken_", [], new Set())[0])
            tryVerify(() => shown("tokenDetailView"))
            compare(textOf("tokenBackLabel"), "Arbitrum")
            compare(textOf("tokenName"), "USD Coin")
            compare(textOf("tokenBalance"), "999.5000 USDC")
            compare(textOf("tokenFiat"), "$999.50")
            // The transfers of this contract in any letter case; no native entry, no other token.
            compare(rows().map(r => r.title), ["Received USDC", "Received USDC"])
            compare(textOf("transactionCount"), "2")
            // A received token entry: its disc instead of the arrow, "+" and green.
            compare(textOf("rowAmount", rows()[0]), "+25.0000 USDC")
            compare(find("rowAmount", rows()[0]).color, BRPalette.success)
            compare(textOf("tokenDiscText", rows()[0]), "US")
            verify(shown("rowStatusDot", rows()[0]))
            // Each refresh redraws the figures.
            const texts = [["0.005", "0.005000 USDC"], ["1000", "1000.00 USDC"], ["0", "0 USDC"],
                           ["999.99995", "1000.00 USDC"], ["1000.005", "1000.01 USDC"]]
            for (const [amount, text] of texts) {
                fixture.setTokenBalance(amount, 0.8)
                compare(textOf("tokenBalance"), text)
            }
            fixture.setTokenBalance("0.004", 1)
            compare(textOf("tokenFiat"), "< $0.01")
            // Send starts on this token, Receive shows the account's address.
            mouseClick(find("tokenSend"))
            tryVerify(() => sheetOpen("sendSheet"))
            const send = findAll(top, "sendSheet", [], new Set()).find(s => s.visible)
            compare(find("sendHeader", send).title, "Send USDC")
            compare(send.chain, 2)
            compare(send.preselectedToken.symbol, "USDC")
            compare(send.preselectedToken.contractAddress, "0xaf88d065e77c8CC2239327C5EDb3A432268e5831")
            compare(send.preselectedToken.chain, "arbitrum")
            send.close()
            tryVerify(() => !send.visible)
            mouseClick(find("tokenReceive"))
            const receive = findAll(top, "receiveSheet", [], new Set()).find(s => s.visible)
            verify(receive)
            compare(receive.address, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf")
            receive.close()
            tryVerify(() => !receive.visible)
            // A row opens its detail; back returns to the account.
            mouseClick(rows()[0])
            tryVerify(() => sheetOpen("transactionDetailSheet"))
            const sheet = findAll(top, "transactionDetailSheet", [], new Set()).find(s => s.visible)
            verify(find("tokenPair", sheet).visible)
            compare(textOf("tokenLabel", sheet), "USD Coin (USDC)")
            compare(textOf("explorerLabel", sheet), "View on Arbiscan")
            sheet.close()
            tryVerify(() => !sheet.visible)
            mouseClick(find("tokenBack"))
            tryVerify(() => shown("accountHistory"))
        }

        function test_9_tokenScreenClosesOnAnotherChain() {
            fixture.select(2, 0)
            wait(50)
            mouseClick(findAll(view, "accountToken_", [], new Set())[0])
            tryVerify(() => shown("tokenDetailView"))
            // Arbitrum USDC must not be shown as held on Ethereum, nor sent from there.
            fixture.select(1, 0)
            wait(50)
            verify(!view.detail.tokenDetail)
            verify(shown("accountHistory"))
            compare(textOf("accountBalance"), "1.250000 ETH")
            mouseClick(findAll(view, "accountToken_", [], new Set())[0])
            tryVerify(() => shown("tokenDetailView"))
            fixture.select(0, 0)
            wait(50)
            verify(!view.detail.tokenDetail)
            verify(shown("btcTabs"))
        }

        function test_10_emptyTokenHistory() {
            fixture.select(2, 0)
            wait(50)
            mouseClick(findAll(view, "accountToken_", [], new Set())[2])
            tryVerify(() => shown("tokenDetailView"))
            verify(shown("transactionsEmpty"))
            compare(textOf("transactionsEmptyNote"), "Transactions for NOPE will appear here.")
            compare(textOf("tokenFiat"), "\u2014")
            allRead("the token")
        }

        function test_12_addTokenSheet() {
            if (!fixture.hasAnvil())
                skip("anvil is not installed")
            const address = "0x00000000000000000000000000000000000b0001"
            fixture.deploy("StandardToken", address)
            fixture.select(2, 0)
            wait(50)
            mouseClick(find("addTokenButton"))
            tryVerify(() => sheetOpen("addTokenSheet"))
            const sheet = find("addTokenSheet")
            compare(textOf("addTokenChain", sheet), "on Arbitrum")
            allRead("the empty form", sheet, "Add Token")
            // What a screen reader could not read the moment the lookup started.
            let unreadWhileDetecting = null
            const model = find("addTokenView", sheet).model
            const detecting = () => {
                if (model.isResolving && shown("addTokenResolving", sheet)
                        && unreadWhileDetecting === null)
                    unreadWhileDetecting = fixture.unexposedTexts(top)
            }
            model.stateChanged.connect(detecting)
            const field = find("contractAddressField", sheet)
            tryVerify(() => field.activeFocus)
            verify(!find("addTokenButton", sheet).enabled)
            compare(find("addTokenButton", sheet).text, "Add Token")
            for (const c of address)
                keyClick(c)
            tryVerify(() => shown("addTokenPreview", sheet), 15000)
            model.stateChanged.disconnect(detecting)
            // "Detecting token..." is read while the lookup runs, and so is its outcome.
            compare(unreadWhileDetecting, [])
            allRead("the token found")
            compare(textOf("infoName", sheet), "Test Token")
            compare(textOf("infoSymbol", sheet), "TST")
            compare(textOf("infoDecimals", sheet), "6")
            compare(find("addTokenButton", sheet).text, "Add TST")
            verify(!find("contractAddressField", sheet).showsError)
            wait(100)
            grabImage(top).save(fixture.screenshotPath("add-token.png"))
            // One character less: the preview goes, "Add" is disabled.
            keyClick(Qt.Key_Backspace)
            verify(!shown("addTokenPreview", sheet))
            verify(!find("addTokenButton", sheet).enabled)
            keyClick("1")
            tryVerify(() => find("addTokenButton", sheet).enabled, 15000)
            mouseClick(find("addTokenButton", sheet))
            tryVerify(() => !sheetOpen("addTokenSheet"))
            compare(fixture.storedTokens(2), ["TST@" + address])
            // A new opening starts empty.
            mouseClick(find("addTokenButton"))
            tryVerify(() => sheetOpen("addTokenSheet"))
            compare(find("contractAddressField", sheet).text, "")
            // A lookup that fails shows its message and a red outline.
            for (const c of "0x00000000000000000000000000000000000b0002")
                keyClick(c)
            tryVerify(() => shown("addTokenError", sheet), 15000)
            compare(textOf("addTokenError", sheet), "Cannot read token name")
            verify(find("contractAddressField", sheet).showsError)
            allRead("the failed lookup")
            compare(fixture.accessibility(find("addTokenError", sheet)).name,
                    "Cannot read token name")
            keyClick(Qt.Key_Escape)
            tryVerify(() => !sheetOpen("addTokenSheet"))
        }

        function test_11_screenshots() {
            fixture.select(1, 0)
            wait(100)
            const shots = []
            for (const theme of BRThemeManager.themes.slice(0, 2)) {
                BRThemeManager.current = theme
                const name = theme.replace(/ /g, "-")
                view.detail.closeTokenDetail()
                wait(150)
                const account = grabImage(top)
                account.save(fixture.screenshotPath("account-" + name + ".png"))
                shots.push(account)
                mouseClick(rows()[0])
                tryVerify(() => sheetOpen("transactionDetailSheet"))
                wait(150)
                grabImage(top).save(fixture.screenshotPath("transaction-" + name + ".png"))
                find("transactionDetailSheet").close()
                tryVerify(() => !sheetOpen("transactionDetailSheet"))
                mouseClick(findAll(view, "accountToken_", [], new Set())[0])
                tryVerify(() => shown("tokenDetailView"))
                wait(150)
                grabImage(top).save(fixture.screenshotPath("token-" + name + ".png"))
            }
            verify(!shots[0].equals(shots[1]), "the two themes look the same")
        }

        // Offline: a failed load says so instead of an empty list, keeps the rows it had, and
        // the price card stops its busy indicator for the text.
        function test_13_failedLoadsSayWhatTheyCouldNotLoad() {
            fixture.select(1, 0)
            wait(50)
            const before = rowIds()
            verify(before.length > 0)
            verify(shown("chartPlaceholder"))
            verify(find("chartBusy").running)
            verify(!shown("chartLoadFailed"))
            verify(!shown("transactionsStale") && !shown("tokensStale"))
            fixture.refreshWithoutServers()
            wait(50)
            compare(rowIds(), before)
            verify(shown("transactionsStale"))
            compare(textOf("transactionsStale"), "Could not load the transactions.")
            compare(textOf("tokenCount"), "3")
            verify(shown("tokensStale"))
            compare(textOf("tokensStale"), "Could not load the tokens.")
            verify(shown("chartLoadFailed"))
            compare(textOf("chartLoadFailed"), "Could not load the price chart.")
            verify(!find("chartBusy").running)
            verify(!find("chartBusy").visible)

            // Nothing known: the empty forms say that the load failed, not that there is none.
            fixture.select(3, 0)
            wait(50)
            verify(shown("transactionsEmpty"))
            compare(textOf("transactionsEmptyTitle"), "Could not load the transactions.")
            verify(!shown("transactionsEmptyNote"))
            verify(!shown("transactionsStale"))
            verify(shown("noTokens"))
            compare(textOf("noTokensText"), "Could not load the tokens.")
            verify(!shown("tokensStale"))
            // At rest: no mark that could read as busy, and nothing that steps or animates
            // (each step would draw the window again).
            verify(!shown("noTokensSymbol"))
            compare(fixture.busyMarksTurning(), 0)
            compare(stepping(top, [], new Set()), [])
            // An account whose loads went through still reads as empty.
            fixture.select(4, 0)
            wait(50)
            verify(!shown("transactionsStale"))
        }

        // F5 refreshes on an account's screen too.
        function test_14_f5RefreshesOnTheAccountScreen() {
            fixture.select(2, 0)
            wait(50)
            verify(!view.walletVM.hasLastRefresh)
            list().forceActiveFocus()
            keyClick(Qt.Key_F5)
            tryVerify(() => view.walletVM.hasLastRefresh, 10000, "F5 ran no refresh")
        }

        // Each account opens at its top (balance and actions in view), wherever the previous
        // one was scrolled to.
        function test_15_eachAccountOpensAtItsTop() {
            top.height = 420
            scrollEachAccount()
        }
        function scrollEachAccount() {
            fixture.select(0, 0)
            wait(50)
            const l = list()
            verify(l.atYBeginning)
            mouseDrag(l, l.width / 2, l.height - 20, 0, -300)
            tryVerify(() => !l.moving)
            verify(!l.atYBeginning, "the list did not scroll")
            verify(!l.followsTop)
            for (const account of [[1, 0], [4, 0], [0, 0]]) {
                fixture.select(account[0], account[1])
                wait(50)
                tryVerify(() => l.atYBeginning, 5000, "account " + account + " opened scrolled")
                const send = find("accountSend")
                const at = send.mapToItem(l, 0, 0)
                verify(at.y >= 0 && at.y + send.height <= l.height, "Send out of view")
                mouseDrag(l, l.width / 2, l.height - 20, 0, -300)
                tryVerify(() => !l.moving)
            }
        }

        // Until a list's first load ends, it says that it is loading; then its rows, or what
        // it could not load.
        function test_16_listsSayTheyAreLoadingUntilTheirLoadEnds() {
            fixture.startLoads()
            fixture.select(1, 0)
            wait(50)
            verify(shown("tokensLoading"))
            compare(textOf("tokensLoadingText"), "Loading tokens...")
            verify(find("tokensBusy").running)
            verify(!shown("noTokens"))
            verify(shown("transactionsLoading"))
            compare(textOf("transactionsLoadingText"), "Loading transactions...")
            verify(find("transactionsBusy").running)
            verify(!shown("transactionsEmpty"))
            // The marks step on one clock, held by each mark while it turns (the price chart's
            // too, while it loads).
            const turning = fixture.busyMarksTurning()
            verify(turning >= 2, turning)
            fixture.endTokenLoad()
            wait(50)
            compare(fixture.busyMarksTurning(), turning - 1)
            verify(!shown("tokensLoading") && !shown("noTokens"))
            compare(textOf("tokenCount"), "3")
            verify(shown("transactionsLoading"))
            fixture.failHistoryLoad()
            wait(50)
            compare(fixture.busyMarksTurning(), turning - 2)
            verify(!shown("transactionsLoading"))
            compare(textOf("transactionsEmptyTitle"), "Could not load the transactions.")
            fixture.endHistoryLoad()
            wait(50)
            verify(!shown("transactionsLoading") && !shown("transactionsEmpty"))
            compare(rows().length, 4)
        }

        // Loads that end while the user has scrolled down (the token list growing, the
        // history's note, its rows) never move what is in view, whether the screen has rows or
        // none yet, after a drag or the wheel.
        function test_17_endingLoadsKeepAScrolledView() {
            top.height = 420
            for (const how of ["drag", "wheel"])
                scrollThenEndLoads(how)
        }
        // Two frames after a change: its layout is done and drawn.
        function settled() {
            const from = top.frames
            tryVerify(() => top.frames >= from + 2, 10000, "no frame came")
        }
        function scrollThenEndLoads(how) {
            fixture.startLoads()
            fixture.select(0, 0)
            fixture.select(1, 0) // opens at its top
            settled()
            const l = list()
            tryVerify(() => l.atYBeginning)
            if (how === "drag")
                mouseDrag(l, l.width / 2, l.height - 20, 0, -150)
            else
                mouseWheel(l, l.width / 2, l.height / 2, 0, -120)
            tryVerify(() => !l.atYBeginning, 5000, how + " did not scroll")
            tryVerify(() => !l.moving)
            const chart = find("priceChartView")
            const before = chart.mapToItem(l, 0, 0).y
            fixture.endTokenLoad()
            settled()
            compare(chart.mapToItem(l, 0, 0).y, before, how + ": the token list grew")
            fixture.failHistoryLoad()
            settled()
            compare(chart.mapToItem(l, 0, 0).y, before, how + ": the history failed")
            fixture.endHistoryLoad()
            settled()
            compare(rows().length, 4)
            compare(chart.mapToItem(l, 0, 0).y, before, how + ": the rows came")
        }

        // The rows once the list has made a delegate for each (a new row's comes with the
        // next layout).
        function laidRows() {
            tryVerify(() => rows().every(r => r !== null), 5000, "a row was not made")
            return rows()
        }
        function laidRowIds() { return laidRows().map(r => r.entryId) }

        // A send the chain has not settled is the account's top row, pending, at the amount it
        // was sent for, until the fetched history lists its id (in any case) or the wallet
        // forgets it; a token send's is on its token's screen, not among the native entries.
        function test_18_unsettledSendsArePendingRowsOnTop() {
            fixture.select(1, 0)
            wait(50)
            compare(laidRows().map(r => r.title), ["Received ETH", "Sent ETH"])
            const id = "0x" + "c".repeat(64)
            fixture.keepUnsettled(1, id, "1 ETH", "0x3535353535353535353535353535353535353535")
            compare(laidRowIds(), ["unsettled:" + id, hash1, hash5])
            const pending = laidRows()[0]
            compare(textOf("rowTitle", pending), "Sent ETH")
            compare(textOf("rowStatus", pending), "Pending")
            compare(textOf("rowAmount", pending), "-1 ETH")
            compare(textOf("rowCounterparty", pending), "0x3535...3535")
            compare(textOf("transactionCount"), "3")

            const token = "0x" + "d".repeat(64)
            fixture.keepUnsettled(1, token, "5 USDC", "0x4646464646464646464646464646464646464646",
                                  "USDC", usdc)
            compare(laidRowIds(), ["unsettled:" + id, hash1, hash5])
            mouseClick(findAll(view, "accountToken_", [], new Set())[0])
            tryVerify(() => shown("tokenDetailView"))
            compare(textOf("tokenName"), "USD Coin")
            compare(laidRows().map(r => r.title), ["Sent USDC", "Received USDC", "Received USDC"])
            compare(laidRowIds()[0], "unsettled:" + token)
            compare(textOf("rowStatus", laidRows()[0]), "Pending")
            compare(textOf("rowAmount", laidRows()[0]), "-5 USDC")
            mouseClick(find("tokenBack"))
            tryVerify(() => shown("accountHistory"))

            // Listed by the explorer, in capitals: that entry alone.
            fixture.listSentOnEthereum("0x" + "C".repeat(64), "1.0000 ETH")
            compare(laidRowIds(), ["0x" + "C".repeat(64), hash1, hash5])
            compare(textOf("rowStatus", laidRows()[0]), "Confirmed")
            // Settled without a listing: gone.
            fixture.keepUnsettled(1, "0x" + "e".repeat(64), "2 ETH",
                                  "0x5757575757575757575757575757575757575757")
            compare(laidRowIds()[0], "unsettled:0x" + "e".repeat(64))
            fixture.forgetUnsettled("0x" + "e".repeat(64))
            compare(laidRowIds(), ["0x" + "C".repeat(64), hash1, hash5])

            // Other families: the Bitcoin account's and the Solana account's own.
            const txid = "f".repeat(64)
            fixture.keepUnsettled(0, txid, "0.0003 BTC", "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4")
            fixture.keepUnsettled(4, "5s", "0.5 SOL", "9xQeWvG816bUx9EPjHmaT23yvVM2ZWbrrpZb9PusVFin")
            fixture.select(0, 0)
            wait(50)
            compare(laidRowIds()[0], "unsettled:" + txid)
            compare(textOf("rowAmount", laidRows()[0]), "-0.0003 BTC")
            compare(laidRows().length, 4)
            fixture.select(4, 0)
            wait(50)
            compare(laidRowIds()[0], "unsettled:5s")
            compare(textOf("rowStatus", laidRows()[0]), "Pending")
            compare(laidRows().length, 3)
        }
        // A pending send's detail, after a restart, is from the account's address, which its
        // copy button copies (the Bitcoin account's: the address of the coin it spends), never
        // the account's id.
        function test_19_aPendingSendIsFromAnAddress() {
            const to = "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4"
            fixture.keepUnsettled(0, "f".repeat(64), "0.0003 BTC", to)
            fixture.keepUnsettled(1, "0x" + "c".repeat(64), "1 ETH",
                                  "0x3535353535353535353535353535353535353535")
            for (const chain of [1, 0]) {
                fixture.select(chain, 0)
                wait(50)
                mouseClick(laidRows()[0])
                tryVerify(() => sheetOpen("transactionDetailSheet"))
                const sheet = findAll(top, "transactionDetailSheet", [], new Set()).find(
                    s => s.visible)
                const from = find("cardFrom", sheet)
                const address = view.detail.address
                compare(textOf("copyableValue", from), address)
                const copy = find("copyValueButton", from)
                compare(fixture.accessibility(copy).name, "Copy sender address " + address)
                if (chain === 0) {
                    mouseClick(copy)
                    compare(Clipboard.text(), address)
                }
                find("transactionDetailDone", sheet).clicked()
                tryVerify(() => !sheetOpen("transactionDetailSheet"))
            }
        }
        // A token balance never read: no figure on the account's row, the list's failure
        // note, none on the token's screen, and the send sheet's balance unknown.
        function test_20_aTokenBalanceNeverReadIsUnknown() {
            fixture.select(2, 0)
            wait(50)
            verify(!shown("tokensStale"))
            fixture.loseTokenBalance()
            wait(20)
            const tokens = findAll(view, "accountToken_", [], new Set())
            compare(textOf("tokenRowAmount", tokens[0]), "\u2014")
            compare(textOf("tokenRowValue", tokens[0]), "\u2014")
            compare(textOf("tokenRowAmount", tokens[1]), "0.004000 DUST")
            verify(shown("tokensStale"))
            compare(textOf("tokensStale"), "Could not load the tokens.")
            allRead("the unknown token balance")
            mouseClick(tokens[0])
            tryVerify(() => shown("tokenDetailView"))
            compare(textOf("tokenBalance"), "\u2014")
            compare(textOf("tokenFiat"), "\u2014")
            mouseClick(find("tokenSend"))
            tryVerify(() => sheetOpen("sendSheet"))
            const send = findAll(top, "sendSheet", [], new Set()).find(s => s.visible)
            compare(textOf("balanceText", send), "Balance: \u2014")
            compare(textOf("balanceNote", send), "Could not load the tokens.")
            send.close()
            tryVerify(() => !send.visible)
        }
        // An explorer that refuses a page has not said the history ends there: the account's
        // and the token's screens say what could not be loaded and keep their rows; refused
        // after its first page, the rows of that page and that the older ones could not be.
        function test_21_aRefusingExplorerIsNoEmptyHistory() {
            fixture.refreshFromRefusingExplorer(false)
            fixture.select(1, 0)
            wait(50)
            compare(rows().map(r => r.title), ["Received ETH", "Sent ETH"])
            verify(shown("transactionsStale"))
            compare(textOf("transactionsStale"), "Could not load the transactions.")
            const tokens = findAll(view, "accountToken_", [], new Set())
            mouseClick(tokens[0]) // USDC, with two transfers
            tryVerify(() => shown("tokenDetailView"))
            compare(rows().length, 2)
            verify(shown("transactionsStale"))
            compare(textOf("transactionsStale"), "Could not load the transactions.")
            mouseClick(find("tokenBack"))
            tryVerify(() => shown("accountHistory"))
            mouseClick(findAll(view, "accountToken_", [], new Set())[2]) // NOPE, with none
            tryVerify(() => shown("tokenDetailView"))
            verify(shown("transactionsEmpty"))
            compare(textOf("transactionsEmptyTitle"), "Could not load the transactions.")
            verify(!shown("transactionsEmptyNote"))
            allRead("a token's refused history")
            view.detail.closeTokenDetail()
            fixture.select(3, 0)
            wait(50)
            compare(textOf("transactionsEmptyTitle"), "Could not load the transactions.")
            verify(!shown("transactionsEmptyNote"))

            fixture.refreshFromRefusingExplorer(true)
            fixture.select(1, 0)
            wait(50)
            compare(rows().map(r => r.amountText), ["+0.2500 ETH"])
            verify(shown("transactionsStale"))
            compare(textOf("transactionsStale"), "Could not load the older transactions.")
            allRead("a history read in part")
        }
        // Pending sends of an account the explorer never indexed, then mined: the list empties
        // and a screen reader reads what the window draws, "No transactions yet", and none of
        // the rows it left.
        function test_22_rowsGoneAreNotRead() {
            top.height = 1400 // the rows in view under the chart and the tokens
            fixture.refreshFromUnindexingExplorer()
            fixture.select(1, 0)
            tryVerify(() => shown("transactionsEmpty"))
            compare(textOf("transactionsEmptyTitle"), "No transactions yet")
            const sends = ["0x" + "c".repeat(64), "0x" + "d".repeat(64)]
            fixture.keepUnsettled(1, sends[0], "0.02 ETH",
                                  "0x3535353535353535353535353535353535353535")
            fixture.keepUnsettled(1, sends[1], "0.03 ETH",
                                  "0x4646464646464646464646464646464646464646")
            const pending = laidRows()
            compare(pending.map(r => r.amountText).sort(), ["-0.02 ETH", "-0.03 ETH"])
            // The delegate's one child is the row a screen reader presses.
            const cards = pending.map(r => r.children[0])
            compare(cards.map(c => fixture.accessibility(c).showing), [true, true])
            allRead("pending sends")

            for (const id of sends)
                fixture.forgetUnsettled(id)
            tryVerify(() => shown("transactionsEmpty"))
            compare(textOf("transactionsEmptyTitle"), "No transactions yet")
            compare(rows().length, 0)
            allRead("the pending sends mined")
            compare(cards.map(c => fixture.accessibility(c).showing), [false, false])
        }
        readonly property string usdc: "0xaf88d065e77c8CC2239327C5EDb3A432268e5831"
        readonly property string hash1: "0x" + "1".repeat(64)
        readonly property string hash5: "0x" + "5".repeat(64)
    }
}
