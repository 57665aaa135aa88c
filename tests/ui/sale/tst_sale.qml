import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui

Item {
    id: top
    width: 900
    height: 700

    NOVRSwapSheet {
        id: sheet
    }

    TestCase {
        name: "Sale"
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
        function within(root, name) {
            return findAll(root, name, [], new Set()).find(
                found => found.objectName === name && found.visible !== false) || null
        }
        function find(name) { return within(top.parent, name) }
        function click(name) {
            const item = find(name)
            verify(item, name)
            mouseClick(item)
            wait(30)
        }
        function typeInto(field, text) {
            mouseClick(field)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            keyClick(Qt.Key_Backspace)
            for (const c of text)
                keyClick(c)
        }
        function form() { return sheet.contentItem.item.view }
        function vm() { return form().vm }
        function confirmSheet() { return find("novrSwapConfirmSheet") }
        function textIn(root, name) { return within(root, name).text }
        function tryText(name, expected, timeout) {
            tryVerify(() => find(name) !== null && find(name).text === expected, timeout,
                      name + " reads " + (find(name) ? find(name).text : "nothing"))
        }
        function rowValue(name) { return within(find(name), "value").text }
        // The whole window, sheets included (they live in its overlay).
        function windowRoot() {
            let item = top
            while (item.parent)
                item = item.parent
            return item
        }
        function shoot(name) {
            const item = windowRoot()
            const shots = []
            const previous = BRThemeManager.current
            for (const theme of BRThemeManager.themes.slice(0, 2)) {
                BRThemeManager.current = theme
                wait(80)
                const image = grabImage(item)
                image.save(fixture.screenshotPath(name + "-" + theme.replace(/ /g, "-") + ".png"))
                shots.push(image)
            }
            BRThemeManager.current = previous
            verify(!shots[0].equals(shots[1]), "the two themes look the same")
        }

        // The theme the tests start in.
        property string startTheme: ""
        function initTestCase() {
            startTheme = BRThemeManager.current
        }
        // What a test changes on its peers and the theme goes back after it, failed or not, so
        // that one failure stays one. The sheet stays open: the tests go on from where the
        // last one left it.
        function cleanup() {
            BRThemeManager.current = startTheme
            fixture.setFloorMode(0)
            fixture.setCallAnswer(0)
            if (confirmSheet())
                confirmSheet().width = 460
        }

        function test_1_formQuotesTheTypedAmount() {
            sheet.open()
            tryCompare(sheet, "opened", true)
            verify(vm())
            compare(textIn(find("floorPriceRow"), "value"), "\u2014")
            verify(!find("reviewSwapButton").enabled)
            verify(!find("maxCostRow"))
            // Buying: USDC is paid (computed), NOVR received (typed).
            compare(textIn(find("usdcCard"), "amountText"), "\u2014")
            // What the status row said while the quote ran.
            const statuses = []
            const note = () => {
                const status = find("quoteStatusText")
                if (status)
                    statuses.push(status.text)
            }
            vm().quoteChanged.connect(note)
            typeInto(within(find("novrCard"), "amountField"), "1")
            compare(vm().amountString, "1")
            tryCompare(vm(), "canReview", true, 10000)
            vm().quoteChanged.disconnect(note)
            verify(statuses.includes("Fetching quote..."), JSON.stringify(statuses))
            compare(textIn(find("usdcCard"), "amountText"), "1.0050")
            compare(rowValue("floorPriceRow"), "1.2346 USDC")
            compare(rowValue("maxCostRow"), "1.0151 USDC")
            verify(find("reviewSwapButton").enabled)
            compare(find("quoteStatus"), null)

            // A sale contract that answers nonsense: its error in the status row, no review.
            fixture.setFloorMode(1)
            typeInto(within(find("novrCard"), "amountField"), "2")
            tryText("quoteStatusText", "Pool error: floorPrice returned invalid data", 10000)
            verify(!find("reviewSwapButton").enabled)
            fixture.setFloorMode(0)
            typeInto(within(find("novrCard"), "amountField"), "1")
            tryCompare(vm(), "canReview", true, 10000)
        }

        // What the quote's status row says is read: while a silent node keeps the quote, and
        // once the node cannot be reached. The sheet is a dialog named by its title.
        function test_1b_theQuoteStatusIsRead() {
            verify(sheet.opened)
            const told = fixture.accessibility(sheet)
            compare([told.name, told.role], ["Nova Crest", 0x12]) // a dialog
            fixture.setCallAnswer(1)
            typeInto(within(find("novrCard"), "amountField"), "3")
            tryText("quoteStatusText", "Fetching quote...", 5000)
            compare(fixture.unexposedTexts(top), [])
            compare(fixture.accessibility(find("quoteStatusText")).name, "Fetching quote...")
            fixture.setCallAnswer(2)
            typeInto(within(find("novrCard"), "amountField"), "4")
            tryText("quoteStatusText", "Cannot connect to Arbitrum RPC", 20000)
            compare(fixture.unexposedTexts(top), [])
            fixture.setCallAnswer(0)
            typeInto(within(find("novrCard"), "amountField"), "1")
            tryCompare(vm(), "canReview", true, 10000)
            compare(fixture.unexposedTexts(top), [])
        }

        function test_2_slippageMenuAndDirection() {
            click("slippageButton")
            const menu = find("slippageMenu")
            tryCompare(menu, "opened", true)
            // The choices leave the amount in sight and mark the current one.
            const field = within(find("novrCard"), "amountField")
            const a = menu.contentItem.mapToItem(top, 0, 0)
            const b = field.mapToItem(top, 0, 0)
            verify(a.y + menu.contentItem.height <= b.y || b.y + field.height <= a.y,
                   "the slippage choices cover the amount")
            compare([50, 100, 200, 300].filter(bps => within(menu, "slippage" + bps).Accessible.checked),
                    [vm().slippageBps])
            mouseClick(within(menu, "slippage300"))
            tryCompare(menu, "visible", false)
            compare(textIn(find("slippageButton"), "slippageText"), "3%")
            compare(rowValue("maxCostRow"), "1.0352 USDC")

            // Selling: NOVR is typed in the first card, the USDC at the floor price below; no
            // slippage, no maximum cost.
            click("sellSegment")
            compare(vm().direction, NOVRSwapViewModel.Sell)
            verify(!find("slippageButton"))
            verify(!find("maxCostRow"))
            compare(within(find("novrCard"), "amountField").text, "1")
            tryCompare(vm(), "canReview", true, 10000)
            compare(textIn(find("usdcCard"), "amountText"), "1.2346")
            // The flip turns it back to a buy of the same amount, quoted again.
            click("flipButton")
            compare(vm().direction, NOVRSwapViewModel.Buy)
            compare(vm().amountString, "1")
            tryCompare(vm(), "canReview", true, 10000)
            compare(textIn(find("usdcCard"), "amountText"), "1.0050")
            shoot("sale-form")

            // A comma where the locale (en_US) writes a point: nothing to review, and the form
            // says which separator it wants.
            typeInto(within(find("novrCard"), "amountField"), "1,5")
            verify(!vm().canReview)
            verify(!find("reviewSwapButton").enabled)
            tryText("quoteStatusText", "Use a point as the decimal separator", 5000)
            typeInto(within(find("novrCard"), "amountField"), "1")
            tryCompare(vm(), "canReview", true, 10000)
        }

        // Every character of a value is drawn inside the card that holds it: not elided, not
        // cut off (once the layout has taken a new width).
        function verifyWhole(item, expected) {
            compare(item.text, expected)
            const card = find("summaryCard")
            const inside = () => {
                const at = item.mapToItem(card, 0, 0)
                return at.x >= 0 && at.x + item.width <= card.width + 0.5
            }
            tryVerify(() => !item.truncated, 1000, "elided: " + expected)
            tryVerify(() => item.contentWidth <= item.width + 0.5, 1000,
                      "wider than its room: " + expected)
            tryVerify(() => item.height >= item.contentHeight - 0.5, 1000, "cut below: " + expected)
            tryVerify(inside, 1000, "outside its card: " + expected)
        }

        // The review reads every digit of the amount and the sale contract's whole address, also
        // in a sheet too narrow for them on one line.
        function test_2b_reviewShowsEveryDigitAndTheWholeContract() {
            typeInto(within(find("novrCard"), "amountField"), "1.000000000000000001")
            tryCompare(vm(), "canReview", true, 10000)
            // The confirmation opens once the buy of these figures is prepared.
            click("reviewSwapButton")
            tryVerify(() => confirmSheet() !== null && confirmSheet().opened, 20000)
            const sheet = confirmSheet()
            for (const width of [460, 260]) {
                sheet.width = width
                verifyWhole(within(find("summaryRow_Amount"), "value"),
                            "1.000000000000000001 NOVR")
                verifyWhole(within(find("summaryRow_Contract"), "value"),
                            "0x5ed14b12336d678d17aB2e4F1A799E74225d6740")
            }
            verify(within(find("summaryRow_Amount"), "value").lineCount >= 2)
            verify(within(find("summaryRow_Contract"), "value").lineCount >= 2)
            sheet.width = 460
            click("cancelConfirmButton")
            tryCompare(sheet, "visible", false)
            typeInto(within(find("novrCard"), "amountField"), "1")
            tryCompare(vm(), "canReview", true, 10000)
        }

        function test_3_wrongThenRightPassword() {
            // The review opens once the buy of these figures is prepared.
            click("reviewSwapButton")
            tryVerify(() => confirmSheet() !== null && confirmSheet().opened, 20000)
            verify(vm().hasReview)
            const sheetItem = confirmSheet().contentItem
            compare(textIn(sheetItem, "confirmTitle"), "Confirm Buy")
            // Every figure exact: the form's 1.0050 and 1.0352 are 1.005 and 1.03515.
            compare(rowValue("summaryRow_Amount"), "1 NOVR")
            compare(rowValue("summaryRow_Estimated cost"), "1.005 USDC")
            compare(rowValue("summaryRow_Max cost"), "1.03515 USDC")
            compare(rowValue("summaryRow_Slippage"), "3%")
            compare(rowValue("summaryRow_Floor price"), "1.234567 USDC")
            compare(rowValue("summaryRow_Contract"), "0x5ed14b12336d678d17aB2e4F1A799E74225d6740")
            // The most the approval and the buy may pay the network, exact, in ETH.
            compare(rowValue("summaryRow_Max network fee"), vm().reviewMaxFee)
            verify(/^0\.[0-9]+ ETH$/.test(vm().reviewMaxFee), vm().reviewMaxFee)
            verify(find("feeNote"))
            const shownFee = rowValue("summaryRow_Max network fee")
            verify(!find("confirmSaleButton").enabled)
            const told = fixture.accessibility(confirmSheet())
            compare([told.name, told.role], ["Confirm Buy", 0x12]) // a dialog
            compare(fixture.unexposedTexts(top), [], "the review")
            shoot("sale-confirm")

            // A wrong password: no step that did not happen shows before its text.
            const titles = []
            const note = () => {
                if (vm().showsProgress && titles[titles.length - 1] !== vm().stepTitle)
                    titles.push(vm().stepTitle)
            }
            vm().flowChanged.connect(note)
            typeInto(find("salePasswordField"), "wrong horse")
            verify(find("confirmSaleButton").enabled)
            click("confirmSaleButton")
            tryCompare(vm(), "isSending", false, 20000)
            tryText("saleError", "Incorrect password", 20000)
            vm().flowChanged.disconnect(note)
            verify(titles.every(t => t === "Checking allowance..."), JSON.stringify(titles))
            verify(find("reviewFace"))
            compare(fixture.unexposedTexts(top), [], "the refused password")
            shoot("sale-wrong-password")
            compare(fixture.sentCount(), 0)

            // Return in the field confirms; a second press while it runs sends nothing more.
            typeInto(find("salePasswordField"), "correct horse")
            keyClick(Qt.Key_Return)
            keyClick(Qt.Key_Return)
            tryCompare(vm(), "showsProgress", true, 5000)
            verify(find("progressFace"))
            compare(fixture.unexposedTexts(top), [], "the progress")
            tryCompare(vm(), "isComplete", true, 20000)
            compare(textIn(sheetItem, "stepTitle"), "Swap complete!")
            compare(textIn(sheetItem, "progressPercent"), "100%")
            compare(textIn(sheetItem, "orderLine"), "1.005 USDC \u2192 1 NOVR")
            verify(find("txBlock"))
            verify(find("doneButton"))
            compare(fixture.novrBalance(), "1000000000000000000")
            compare(fixture.sentCount(), 2)
            // The fee shown is what the approval and the buy signed allowed.
            compare(fixture.allowedFees(), shownFee)
            compare(fixture.unexposedTexts(top), [], "the sale done")
            shoot("sale-complete")

            click("doneButton")
            tryCompare(sheet, "visible", false)
        }
    }
}
