import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui

Item {
    id: top
    width: 760
    height: 720

    SwapView {
        id: swap
    }

    TestCase {
        id: testCase
        name: "SwapScreen"
        when: windowShown

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
        function typeText(text) {
            for (const c of text)
                keyClick(c)
        }
        function vm() { return swap.viewModel }
        function confirm() { return find("swapConfirmSheet") }
        function openOn(chain) {
            swap.chain = chain
            swap.open()
            tryVerify(() => swap.opened && vm() !== null)
        }
        function closeSwap() {
            swap.close()
            tryVerify(() => !swap.visible)
        }
        // Counts the quote requests the screen starts (each one sets isQuoting).
        property int requests: 0
        // What a screen reader could not read the moment the first quote started, and what it
        // read as the "To" amount then.
        property var unreadWhileQuoting: null
        property var toReadWhileQuoting: null
        Connections {
            target: swap.viewModel
            function onIsQuotingChanged() {
                if (!swap.viewModel.isQuoting)
                    return
                ++testCase.requests
                if (testCase.unreadWhileQuoting === null && testCase.shown("quoting")) {
                    testCase.unreadWhileQuoting = fixture.unexposedTexts(top)
                    testCase.toReadWhileQuoting = fixture.accessibility(
                        testCase.find("amountOut", testCase.find("toCard"))).name
                }
            }
        }
        function typeAmount(text) {
            const field = find("amountField", find("fromCard"))
            mouseClick(field)
            field.selectAll()
            keyClick(Qt.Key_Delete)
            typeText(text)
        }
        function awaitQuote() {
            tryVerify(() => vm().hasQuote || vm().quoteError.length > 0, 15000)
            compare(vm().quoteError, "")
        }
        function pickerRows(picker) {
            const list = find("tokenList", picker)
            list.forceLayout()
            const out = []
            for (let i = 0; i < list.count; ++i)
                out.push(list.itemAtIndex(i))
            return out
        }
        function shoot(name) {
            const previous = BRThemeManager.current
            const shots = []
            for (const theme of BRThemeManager.themes.slice(0, 2)) {
                BRThemeManager.current = theme
                wait(300) // the discs draw into layers of their own
                const shot = grabImage(top)
                shot.save(fixture.screenshotPath(name + "-" + theme.replace(/ /g, "-") + ".png"))
                shots.push(shot)
            }
            BRThemeManager.current = previous
            verify(!shots[0].equals(shots[1]), name + ": the two themes look the same")
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

        // The theme the tests start in.
        property string startTheme: ""
        function initTestCase() {
            startTheme = BRThemeManager.current
        }
        // The theme goes back and the swap closes after each test, failed or not.
        function cleanup() {
            BRThemeManager.current = startTheme
            if (swap.visible)
                closeSwap()
        }

        function test_1_eachChainOpensWithItsDefaultTokens() {
            const expected = [[0, "BTC", "Select"], [1, "ETH", "USDC"], [2, "ETH", "USDC"],
                              [3, "POL", "USDC"], [4, "SOL", "USDC"]]
            for (const [chain, tokenIn, tokenOut] of expected) {
                openOn(chain)
                allRead("chain " + chain, swap, "Swap")
                compare(vm().chain, chain)
                compare(textOf("chipText", find("tokenInChip")), tokenIn, "chain " + chain)
                compare(textOf("chipText", find("tokenOutChip")), tokenOut, "chain " + chain)
                compare(textOf("slippageLabel"), "0.5% slip")
                // No quote: no amount, drawn and read as the unknown mark, never a zero.
                compare(textOf("amountOut", find("toCard")), "\u2014")
                compare(fixture.accessibility(find("amountOut", find("toCard"))).name, "\u2014")
                verify(!find("reviewSwapButton").enabled)
                closeSwap()
            }
            // Bitcoin: the output never set, so the review never enables, even with an amount.
            openOn(0)
            typeAmount("1")
            wait(700)
            verify(!find("reviewSwapButton").enabled)
            compare(requests, 0)
        }

        function rect(item) {
            const at = item.mapToItem(top, 0, 0)
            return Qt.rect(at.x, at.y, item.width, item.height)
        }
        function overlaps(a, b) {
            return a.x < b.x + b.width && b.x < a.x + a.width
                    && a.y < b.y + b.height && b.y < a.y + a.height
        }
        function pick(chip, pickerName, symbol) {
            mouseClick(find(chip))
            const picker = find(pickerName)
            tryVerify(() => picker.opened)
            compare(fixture.unnamedControls(top.parent), [])
            allRead(pickerName, picker, "Select Token")
            const row = pickerRows(picker).find(r => r.objectName === "tokenRow_" + symbol)
            mouseClick(find("tokenRowButton", row))
            tryVerify(() => !picker.visible)
        }
        function chips() {
            return [textOf("chipText", find("tokenInChip")), textOf("chipText", find("tokenOutChip"))]
        }

        function test_1a_sidesIconsSlippageAndNames() {
            openOn(4)
            compare(chips(), ["SOL", "USDC"])
            // The chain's coin wears the chain's disc, as on its account; USDC its badge.
            verify(shown("chainDisc", find("tokenInChip")))
            verify(!shown("tokenDiscText", find("tokenInChip")))
            verify(shown("tokenDiscText", find("tokenOutChip")))
            // A token chosen for one side that the other side holds: the two trade places.
            pick("tokenInChip", "tokenInPicker", "USDC")
            compare(chips(), ["USDC", "SOL"])
            pick("tokenOutChip", "tokenOutPicker", "USDC")
            compare(chips(), ["SOL", "USDC"])

            // The slippage choices leave the amount in sight and mark the current one.
            const button = find("slippageButton")
            mouseClick(button)
            const menu = find("slippageMenu")
            tryVerify(() => menu.opened)
            verify(!overlaps(rect(menu.contentItem), rect(find("amountField", find("fromCard")))))
            const marked = () => [10, 50, 100, 300].filter(
                bps => find("slippage_" + bps).Accessible.checked)
            compare(marked(), [50])
            shoot("swap-slippage")
            compare(fixture.unnamedControls(top.parent), [])
            mouseClick(find("slippage_100"))
            tryVerify(() => !menu.visible)
            compare(fixture.accessibility(button).name, "Slippage 1%")
            mouseClick(button)
            tryVerify(() => menu.opened)
            compare(marked(), [100])
            mouseClick(find("slippage_100"))
            tryVerify(() => !menu.visible)

            // Every control is named, and the review without a quote is told disabled.
            compare(fixture.unnamedControls(top.parent), [])
            const review = fixture.accessibility(find("reviewSwapButton"))
            compare([review.name, review.enabled], ["Review Swap", false])
            compare(fixture.accessibility(find("amountField", find("fromCard"))).name, "From amount")
        }

        function test_2_typingSendsOneRequestAndTheSlippageMenuRequotes() {
            if (!fixture.hasNode())
                skip("anvil is not installed (scripts/install-deps)")
            openOn(2)
            // The first run after opening finds no amount: no request.
            wait(700)
            requests = 0
            typeAmount("0.00000001") // ten characters, closer together than 0.5 s
            compare(requests, 0)
            tryVerify(() => requests === 1, 2000)
            // "Fetching quote..." is read while the quote is on its way, and no "To" amount.
            compare(unreadWhileQuoting, [])
            compare(toReadWhileQuoting, "\u2014")
            awaitQuote()
            wait(700)
            compare(requests, 1)
            compare(vm().amountInString, "0.00000001")
            compare(textOf("routeText"), "ETH \u2192 0.3% \u2192 USDC")
            verify(shown("routeRow"))
            verify(textOf("amountOut", find("toCard")) !== "\u2014")
            verify(find("reviewSwapButton").enabled)

            // The menu: 1% re-quotes once; the value already set sends nothing.
            mouseClick(find("slippageButton"))
            tryVerify(() => find("slippageMenu").opened)
            mouseClick(find("slippage_100"))
            compare(textOf("slippageLabel"), "1% slip")
            verify(!find("reviewSwapButton").enabled) // the old quote no longer holds
            tryVerify(() => requests === 2, 2000)
            awaitQuote()
            mouseClick(find("slippageButton"))
            tryVerify(() => find("slippageMenu").opened)
            mouseClick(find("slippage_100"))
            wait(700)
            compare(requests, 2)
            for (const [bps, text] of [[10, "0.1% slip"], [300, "3% slip"]]) {
                vm().slippageBps = bps
                compare(textOf("slippageLabel"), text)
            }

            // A comma where the locale (en_US) writes a point: nothing asked, and the form says
            // which separator it wants.
            typeAmount("1,5")
            wait(700)
            compare(textOf("amountOut", find("toCard")), "\u2014")
            verify(!shown("routeRow") && !shown("quoting"))
            verify(shown("quoteError"))
            compare(textOf("quoteError"), "Use a point as the decimal separator")
            allRead("the quote's refusal")
            verify(!find("reviewSwapButton").enabled)
        }

        function test_3_pickersSearchChooseAndFlip() {
            if (!fixture.hasNode())
                skip("anvil is not installed (scripts/install-deps)")
            openOn(2)
            typeAmount("250")
            mouseClick(find("tokenOutChip"))
            const picker = find("tokenOutPicker")
            tryVerify(() => picker.opened)
            verify(find("tokenSelectedMark", pickerRows(picker)[1]).visible) // USDC
            tryVerify(() => find("tokenSearch", picker).activeFocus)
            typeText("dai")
            tryCompare(find("tokenList", picker), "count", 1)
            mouseClick(find("tokenRowButton", pickerRows(picker)[0]))
            tryVerify(() => !picker.visible)
            compare(textOf("chipText", find("tokenOutChip")), "DAI")
            // Paying USDC for DAI: the 0.05 % pool.
            mouseClick(find("tokenInChip"))
            const inPicker = find("tokenInPicker")
            tryVerify(() => inPicker.opened)
            compare(find("tokenSearch", inPicker).text, "")
            mouseClick(find("tokenRowButton", pickerRows(inPicker)[1]))
            tryVerify(() => !inPicker.visible)
            awaitQuote()
            compare(textOf("routeText"), "USDC \u2192 0.05% \u2192 DAI")
            shoot("swap-screen")

            // Flip: the sides change places, the amount and the quote go.
            mouseClick(find("flipButton"))
            compare(textOf("chipText", find("tokenInChip")), "DAI")
            compare(textOf("chipText", find("tokenOutChip")), "USDC")
            compare(find("amountField", find("fromCard")).text, "")
            compare(textOf("amountOut", find("toCard")), "\u2014")
            verify(!shown("routeRow"))
            verify(!find("reviewSwapButton").enabled)
        }

        function test_4_reviewWrongThenRightPasswordAndDone() {
            if (!fixture.hasNode())
                skip("anvil is not installed (scripts/install-deps)")
            const usdcBefore = fixture.usdcBalance()
            const nonceBefore = fixture.walletNonce()
            openOn(2)
            typeAmount("0.5")
            awaitQuote()
            mouseClick(find("reviewSwapButton"))
            tryVerify(() => confirm().opened)
            verify(shown("reviewFace"))
            compare(textOf("value", find("rowFrom")), "0.5 ETH")
            compare(textOf("value", find("rowTo")), vm().exactOutputText + " USDC")
            compare(textOf("value", find("rowMinimum")), vm().minimumReceivedText + " USDC")
            compare(textOf("value", find("rowSlippage")), "0.5%")
            compare(textOf("value", find("rowRoute")), "ETH \u2192 0.3% \u2192 USDC")
            // The most the prepared swap may pay the network, exact, in ETH; no approval.
            const shownFee = textOf("value", find("rowMaxFee"))
            compare(shownFee, vm().reviewMaxFee)
            verify(/^0\.[0-9]+ ETH$/.test(shownFee), shownFee)
            verify(!shown("feeNote"))
            const field = find("swapPasswordField")
            tryVerify(() => field.activeFocus)
            verify(!find("swapConfirmButton").enabled)
            allRead("the review", confirm(), "Confirm Swap")
            shoot("swap-review")

            // A wrong password: back to the review with the key store's text, nothing sent.
            typeText("wrong horse")
            verify(find("swapConfirmButton").enabled)
            mouseClick(find("swapConfirmButton"))
            tryVerify(() => textOf("swapError").length > 0, 15000)
            verify(shown("reviewFace"))
            compare(textOf("swapError"), "Incorrect password")
            allRead("the refused password")
            verify(field.showsError)
            compare(fixture.walletNonce(), nonceBefore)

            // The right one, typed and sent with Return: the progress until the receipt.
            field.selectAll()
            keyClick(Qt.Key_Delete)
            fixture.setAutomine(false)
            typeText(fixture.password())
            keyClick(Qt.Key_Return)
            tryVerify(() => confirm().step === TransactionFlow.WaitingConfirmation, 15000)
            verify(shown("progressFace"))
            verify(!shown("reviewFace"))
            compare(textOf("stepTitle"), "Waiting for confirmation...")
            verify(!shown("indicatorApprove")) // the coin is paid: no approval
            verify(find("indicatorSign").done && find("indicatorBroadcast").done)
            verify(find("indicatorDone").active && !find("indicatorDone").done)
            verify(!shown("swapDoneButton"))
            compare(textOf("progressChain"), "on Arbitrum")
            verify(textOf("progressSummary").startsWith("0.5 ETH \u2192 "))
            verify(shown("txIdBlock"))
            compare(find("txId").text, confirm().flow.txHash)
            // While the chain keeps it waiting, the progress is read and the sheet keeps its
            // name.
            allRead("the progress", confirm(), "Confirm Swap")
            shoot("swap-progress")
            fixture.mine()
            fixture.setAutomine(true)
            tryVerify(() => confirm().step === TransactionFlow.Confirmed, 15000)
            compare(textOf("stepTitle"), "Swap complete!")
            compare(textOf("progressPercent"), "100%")
            verify(find("indicatorDone").done)
            verify(shown("swapDoneButton"))
            verify(Number(fixture.usdcBalance()) > Number(usdcBefore))
            compare(fixture.walletNonce(), nonceBefore + 1)
            compare(fixture.allowedFees(nonceBefore), shownFee) // what the swap signed allowed
            // The transaction left: the password is gone from the model and the field.
            verify(!vm().hasPassword)
            compare(field.text, "")
            allRead("the swap done")
            shoot("swap-complete")

            // Done: the model is reset and both sheets close.
            mouseClick(find("swapDoneButton"))
            tryVerify(() => !swap.visible)
            openOn(2)
            compare(confirm().step, TransactionFlow.Idle)
            verify(!confirm().visible)
        }

        // Every character of a value is drawn inside the card that holds it: not elided, not
        // cut off (once the layout has taken a new width).
        function verifyWhole(item, expected) {
            compare(item.text, expected)
            const card = find("detailsCard")
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

        // The review reads every digit of what is signed and the router's whole address, also in
        // a sheet too narrow for them on one line (the card keeps the password field's width).
        function test_4b_reviewShowsEveryDigitAndTheWholeRouter() {
            if (!fixture.hasNode())
                skip("anvil is not installed (scripts/install-deps)")
            openOn(2)
            typeAmount("1234.000000000000000001")
            awaitQuote()
            // The form rounds as the lists do; the review does not.
            compare(textOf("amountOut", find("toCard")), vm().expectedOutputText)
            mouseClick(find("reviewSwapButton"))
            tryVerify(() => confirm().opened)
            const rows = {rowFrom: "1234.000000000000000001 ETH",
                          rowTo: vm().exactOutputText + " USDC",
                          rowMinimum: vm().minimumReceivedText + " USDC",
                          rowContract: "0x68b3465833fb72A70ecDF485E0e4C7bD8665Fc45"}
            verify(vm().exactOutputText.length > 0)
            for (const width of [440, 260]) {
                confirm().width = width
                for (const name in rows)
                    verifyWhole(find("value", find(name)), rows[name])
            }
            // Narrow, the address takes two lines rather than losing its middle.
            verify(find("value", find("rowContract")).lineCount >= 2)
            verify(find("value", find("rowFrom")).lineCount >= 2)
            confirm().width = 440
            mouseClick(find("swapCancelButton"))
            tryVerify(() => !confirm().visible)
        }

        function test_5_aSwapRefusedByTheNodeComesBackToTheReview() {
            if (!fixture.hasNode())
                skip("anvil is not installed (scripts/install-deps)")
            const nonceBefore = fixture.walletNonce()
            openOn(2)
            typeAmount("1")
            awaitQuote()
            mouseClick(find("reviewSwapButton"))
            tryVerify(() => confirm().opened)
            typeText(fixture.password())
            // Another account moves the price after the quote: the swap's minimum cannot be met.
            fixture.movePrice()
            mouseClick(find("swapConfirmButton"))
            tryVerify(() => confirm().step === TransactionFlow.Failed, 15000)
            verify(shown("reviewFace"))
            verify(textOf("swapError").indexOf("Too little received") >= 0, textOf("swapError"))
            compare(fixture.walletNonce(), nonceBefore)
            // Cancel keeps the password and the quote; the swap sheet stays.
            mouseClick(find("swapCancelButton"))
            tryVerify(() => !confirm().visible)
            verify(swap.visible)
            verify(vm().hasPassword)
            verify(find("reviewSwapButton").enabled)
            // A new opening starts without the old failure.
            closeSwap()
            openOn(2)
            compare(confirm().step, TransactionFlow.Idle)
            compare(textOf("swapError"), "")
        }

        function test_6_aTokenPaidIsApprovedFirst() {
            if (!fixture.hasNode())
                skip("anvil is not installed (scripts/install-deps)")
            const nonceBefore = fixture.walletNonce()
            openOn(2)
            mouseClick(find("flipButton")) // USDC in, ETH out
            typeAmount("100")
            awaitQuote()
            mouseClick(find("reviewSwapButton"))
            tryVerify(() => confirm().opened)
            // The approval comes first: the fee counts it, and the note says the swap's part is
            // a bound until the approval is in a block.
            verify(shown("feeNote"))
            const shownFee = textOf("value", find("rowMaxFee"))
            compare(shownFee, vm().reviewMaxFee)
            typeText(fixture.password())
            fixture.setAutomine(false)
            mouseClick(find("swapConfirmButton"))
            // The approval waits in the pool: the swap waits for its block.
            tryVerify(() => confirm().step === TransactionFlow.Approving, 15000)
            verify(shown("indicatorApprove"))
            verify(find("indicatorApprove").active && !find("indicatorApprove").done)
            compare(textOf("stepTitle"), "Approving token...")
            tryVerify(() => fixture.walletNonce() === nonceBefore + 1, 15000) // in the pool
            wait(300)
            compare(confirm().step, TransactionFlow.Approving)
            fixture.mine()
            tryVerify(() => confirm().step === TransactionFlow.WaitingConfirmation, 15000)
            verify(find("indicatorApprove").done)
            fixture.mine()
            fixture.setAutomine(true)
            tryVerify(() => confirm().step === TransactionFlow.Confirmed, 15000)
            compare(fixture.allowedFees(nonceBefore), shownFee) // the approval's and the swap's
            mouseClick(find("swapDoneButton"))
            tryVerify(() => !swap.visible)
        }

        function test_7_aSwapGoesOnWhenItsSheetClosesAndShowsWhenOpenedAgain() {
            if (!fixture.hasNode())
                skip("anvil is not installed (scripts/install-deps)")
            const nonceBefore = fixture.walletNonce()
            openOn(2)
            typeAmount("0.1")
            awaitQuote()
            mouseClick(find("reviewSwapButton"))
            tryVerify(() => confirm().opened)
            typeText(fixture.password())
            fixture.setAutomine(false)
            mouseClick(find("swapConfirmButton"))
            tryVerify(() => confirm().step === TransactionFlow.WaitingConfirmation, 15000)
            // While it runs the progress cannot be dismissed; the swap sheet can be closed.
            keyClick(Qt.Key_Escape)
            verify(confirm().visible)
            closeSwap()
            fixture.mine()
            fixture.setAutomine(true)
            openOn(2)
            tryVerify(() => confirm() && confirm().opened)
            tryVerify(() => confirm().step === TransactionFlow.Confirmed, 15000)
            verify(shown("progressFace"))
            compare(textOf("progressChain"), "on Arbitrum")
            verify(textOf("progressSummary").startsWith("0.1 ETH \u2192 "))
            compare(fixture.walletNonce(), nonceBefore + 1)
            mouseClick(find("swapDoneButton"))
            tryVerify(() => !swap.visible)
        }

        function test_8_aSolanaOrderIsSignedAndConfirmedByTheNode() {
            if (!fixture.hasAggregator())
                skip("node or the test peers are not installed (scripts/install-deps)")
            const lamportsBefore = Number(fixture.solanaLamports())
            const usdcBefore = Number(fixture.solanaUsdc())
            openOn(4)
            wait(700)
            requests = 0
            typeAmount("1.5")
            tryVerify(() => requests === 1, 2000)
            awaitQuote()
            compare(textOf("routeText"), "Jupiter Ultra")
            compare(textOf("amountOut", find("toCard")), "225.0000")
            mouseClick(find("reviewSwapButton"))
            tryVerify(() => confirm().opened)
            compare(textOf("value", find("rowFrom")), "1.5 SOL")
            compare(textOf("value", find("rowTo")), "225 USDC") // every digit: the form's 225.0000
            // The order states its own minimum: no estimate.
            compare(find("rowMinimum").label, "Min. received")
            compare(textOf("value", find("rowMinimum")), "223.875 USDC")
            compare(textOf("value", find("rowRoute")), "Jupiter Ultra")
            const field = find("swapPasswordField")
            tryVerify(() => field.activeFocus)
            shoot("swap-solana-review")

            typeText("wrong horse")
            mouseClick(find("swapConfirmButton"))
            tryVerify(() => textOf("swapError").length > 0, 15000)
            verify(shown("reviewFace"))
            compare(textOf("swapError"), "Incorrect password")
            compare(Number(fixture.solanaLamports()), lamportsBefore)

            field.selectAll()
            keyClick(Qt.Key_Delete)
            typeText(fixture.password())
            keyClick(Qt.Key_Return)
            tryVerify(() => confirm().step === TransactionFlow.Confirmed, 15000)
            verify(shown("progressFace"))
            verify(!shown("indicatorApprove")) // three steps on Solana
            verify(find("indicatorDone").done)
            compare(textOf("stepTitle"), "Swap complete!")
            compare(textOf("progressChain"), "on Solana")
            compare(textOf("progressSummary"), "1.5 SOL \u2192 225 USDC")
            compare(find("txId").text, confirm().flow.txHash)
            // 1.5 SOL and two signatures' fees out, 225 USDC in.
            compare(Number(fixture.solanaLamports()), lamportsBefore - 1500000000 - 10000)
            compare(Number(fixture.solanaUsdc()), usdcBefore + 225000000)
            shoot("swap-solana-complete")
            mouseClick(find("swapDoneButton"))
            tryVerify(() => !swap.visible)
        }

        function test_9_solanaRefusalsEstimatesAndAnExpiredSwap() {
            if (!fixture.hasAggregator())
                skip("node or the test peers are not installed (scripts/install-deps)")
            const lamportsBefore = Number(fixture.solanaLamports())
            fixture.scriptAggregator({ order: ["429", "noThreshold"],
                                       execute: ["failedWithError", "expired"] })
            openOn(4)
            typeAmount("1")
            tryVerify(() => shown("quoteError"), 15000)
            compare(textOf("quoteError"), "Jupiter: Network busy, try again in a few seconds")
            compare(fixture.accessibility(find("amountOut", find("toCard"))).name, "\u2014")
            verify(!find("reviewSwapButton").enabled)

            // An order without its own minimum: the figure is labelled an estimate.
            typeAmount("2")
            tryVerify(() => vm().hasQuote, 15000) // the old error shows until the new order
            compare(vm().quoteError, "")
            mouseClick(find("reviewSwapButton"))
            tryVerify(() => confirm().opened)
            compare(find("rowMinimum").label, "Min. received (est.)")
            compare(textOf("value", find("rowMinimum")), "298.5 USDC")
            typeText(fixture.password())

            // The aggregator refuses: back to the review with its text.
            mouseClick(find("swapConfirmButton"))
            tryVerify(() => confirm().step === TransactionFlow.Failed, 15000)
            verify(shown("reviewFace"))
            compare(textOf("swapError"), "Jupiter: Slippage tolerance exceeded")
            verify(confirm().flow.txHash.length === 0)

            // Answered, but never seen on the node until its blockhash is too old.
            mouseClick(find("swapConfirmButton"))
            tryVerify(() => confirm().step === TransactionFlow.Reverted, 15000)
            compare(textOf("stepTitle"), "Swap failed")
            compare(textOf("stepNote"), "Failed: Expired before it landed")
            verify(!find("indicatorDone").done)
            compare(find("txId").text, confirm().flow.txHash)
            compare(Number(fixture.solanaLamports()), lamportsBefore)
            mouseClick(find("swapDoneButton"))
            tryVerify(() => !swap.visible)
        }

        function test_9b_aSolanaOrderTakingMoreThanItStatesIsRefusedOnTheReview() {
            if (!fixture.hasAggregator())
                skip("node or the test peers are not installed (scripts/install-deps)")
            fixture.airdropSolana("100000000000")
            const lamportsBefore = Number(fixture.solanaLamports())
            // An order for 0.1 SOL whose transaction also moves 99 SOL elsewhere.
            fixture.scriptAggregator({ order: ["drainSol"] })
            openOn(4)
            typeAmount("0.1")
            awaitQuote()
            mouseClick(find("reviewSwapButton"))
            tryVerify(() => confirm().opened)
            compare(textOf("value", find("rowFrom")), "0.1 SOL")
            typeText(fixture.password())
            mouseClick(find("swapConfirmButton"))
            tryVerify(() => confirm().step === TransactionFlow.Failed, 15000)
            verify(shown("reviewFace"))
            compare(textOf("swapError"), "Failed: The swap's transaction would take 99.10001 SOL "
                    + "from the wallet, more than the 0.10001 SOL the order and its fees allow; "
                    + "nothing was signed")
            verify(confirm().flow.txHash.length === 0)
            compare(Number(fixture.solanaLamports()), lamportsBefore)
            shoot("swap-solana-refused")
            closeSwap()
        }
    }
}
