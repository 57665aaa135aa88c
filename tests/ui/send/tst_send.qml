import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui
import "../shared/Popups.js" as Popups

Item {
    id: top
    width: 720
    height: 720

    SendSheetHost { id: sheet }

    TestCase {
        id: testCase
        name: "Send"
        when: windowShown

        function findAll(item, name, out, seen) {
            if (!item || seen.has(item))
                return out
            seen.add(item)
            if (item.objectName === name)
                out.push(item)
            const children = item.data || item.children || []
            for (let i = 0; i < children.length; ++i)
                findAll(children[i], name, out, seen)
            if (item.contentItem && item.contentItem !== item)
                findAll(item.contentItem, name, out, seen)
            return out
        }
        function find(name) { return findAll(sheet, name, [], new Set())[0] || null }
        function textOf(name) { return find(name).text }
        function vm() { return find("sendViewModel") }
        function confirm() { return find("sendConfirmSheet") }
        function typeText(text) {
            for (const c of text)
                keyClick(c)
        }
        function typeInto(name, text) {
            const field = find(name)
            field.forceActiveFocus()
            field.selectAll()
            keyClick(Qt.Key_Backspace)
            typeText(text)
        }
        function openOn(chain) {
            sheet.chain = chain
            sheet.preselectedToken = null
            sheet.open()
            tryVerify(() => sheet.opened && vm() !== null)
        }
        function closeAll() {
            if (confirm() && confirm().visible) {
                confirm().close()
                tryVerify(() => !confirm().visible)
            }
            sheet.close()
            tryVerify(() => !sheet.visible)
        }
        function shots(name) {
            const previous = BRThemeManager.current
            const images = []
            for (const theme of BRThemeManager.themes.slice(0, 2)) {
                BRThemeManager.current = theme
                wait(50)
                const image = grabImage(top)
                image.save(fixture.screenshotPath(name + "-" + theme.replace(/ /g, "-") + ".png"))
                images.push(image)
            }
            BRThemeManager.current = previous
            verify(!images[0].equals(images[1]), "the two themes look the same")
        }
        // A rate not shown is no text at all: hidden texts still reach some readers.
        function levelTexts(level) {
            const button = find("feeLevel_" + level)
            return [findAll(button, "feeLevelName", [], new Set())[0].text,
                    findAll(button, "feeLevelRate", [], new Set())[0].text,
                    findAll(button, "feeLevelHint", [], new Set())[0].text]
        }

        // Every text the window shows reaches a screen reader; `popup`, where given, is a
        // dialog named `title`.
        function allRead(where, popup, title) {
            compare(fixture.unexposedTexts(top), [], where)
            if (popup) {
                const told = fixture.accessibility(popup)
                compare([told.name, told.role], [title, 0x12], where) // a dialog
            }
        }

        readonly property string btcRecipient: "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu"
        readonly property string recipient: "0x3535353535353535353535353535353535353535"
        property var polygonHashes: []

        function reviewBitcoin(amount) {
            openOn(0)
            typeInto("recipientField", btcRecipient)
            typeInto("amountField", amount)
            tryVerify(() => find("estimateBox").visible && !vm().isFetchingFees)
            mouseClick(find("reviewButton"))
            tryVerify(() => confirm().opened)
            tryVerify(() => find("sendPasswordField").activeFocus)
        }

        function reviewOn(chain, to, amount) {
            openOn(chain)
            typeInto("recipientField", to)
            typeInto("amountField", amount)
            tryVerify(() => find("reviewButton").enabled)
            mouseClick(find("reviewButton"))
            tryVerify(() => confirm().opened)
            tryVerify(() => find("sendPasswordField").activeFocus)
        }
        function stepSymbols() {
            return ["stepSign", "stepBroadcast", "stepConfirm"].map(
                n => findAll(find(n), "stepSymbol", [], new Set())[0].name)
        }

        // The theme the tests start in.
        property string startTheme: ""

        function initTestCase() {
            startTheme = BRThemeManager.current
            fixture.createWallet()
        }

        // What a test changes for a while goes back after it, even when it failed halfway, so
        // that one failure stays one: the theme, the node's receipts and gas price as it
        // answers them, and the sheets left open, after a send they show has ended (then
        // dismissed as Done does, or the next sheet of its chain would show it).
        function cleanup() {
            BRThemeManager.current = startTheme
            fixture.holdReceipts(false)
            if (vm()) {
                tryVerify(() => !vm().isSending, 30000, "a send did not end")
                // What a Polygon send left pays counts in what the node moved, whichever test
                // it was.
                if (sheet.chain === 3 && vm().txHash !== "" && !polygonHashes.includes(vm().txHash))
                    polygonHashes.push(vm().txHash)
                if (find("doneButton") && find("doneButton").visible) {
                    mouseClick(find("doneButton"))
                    tryVerify(() => !sheet.visible)
                }
            }
            Popups.closeAll(testCase, top.parent)
        }

        // Before any server answered, the balance is unknown, not zero: Max writes nothing and
        // says why; a failed load says so in the account screen's words; an answer shows at once.
        function test_0_anUnansweredBalanceIsUnknown() {
            openOn(0)
            compare(textOf("balanceText"), "Balance: \u2014")
            verify(!find("balanceNote").visible)
            mouseClick(find("maxButton"))
            compare(find("amountField").text, "")
            compare(textOf("amountError"), "Max needs the balance, which is still loading.")
            verify(find("amountError").visible)
            fixture.failBitcoinBalance()
            compare(textOf("balanceNote"), "Could not load the Bitcoin balance.")
            verify(find("balanceNote").visible)
            compare(textOf("amountError"), "Max needs the balance, which could not be loaded.")
            allRead("an unknown balance", sheet, "Send BTC")
            // The server gave no fee estimate: the levels' defaults, named as such.
            tryVerify(() => !vm().isFetchingFees)
            compare(levelTexts(SendViewModel.Slow)[1], "1 sat/vB")
            compare(levelTexts(SendViewModel.Fast)[1], "20 sat/vB")
            verify(find("feeRatesNote").visible)
            compare(textOf("feeRatesNote"), "Default rates: the fee estimate could not be loaded.")
            allRead("default fee rates", sheet, "Send BTC")
            fixture.setBitcoinFees() // the balance answered
            compare(textOf("balanceText"), "Balance: 0.00150000 BTC")
            verify(!find("balanceNote").visible)
            compare(textOf("amountError"), "")
            closeAll()
        }

        function test_1_bitcoinFormFeeLevelsAndAmounts() {
            fixture.setBitcoinFees()
            openOn(0)
            compare(find("sendHeader").title, "Send BTC")
            verify(!find("assetRow").visible)
            compare(find("recipientField").placeholderText, "bc1q...")
            compare(textOf("balanceText"), "Balance: 0.00150000 BTC")
            // The estimate's rates on each level; Normal chosen on a fresh sheet.
            tryVerify(() => levelTexts(SendViewModel.Fast)[1] === "50 sat/vB")
            compare(levelTexts(SendViewModel.Slow), ["Economy", "5 sat/vB", "~6 blocchi"])
            compare(levelTexts(SendViewModel.Normal), ["Normal", "20 sat/vB", "~3 blocchi"])
            compare(levelTexts(SendViewModel.Fast), ["Priority", "50 sat/vB", "~1 blocco"])
            verify(!find("feeRatesNote").visible)
            verify(find("feeLevel_" + SendViewModel.Normal).isSelected)
            mouseClick(find("feeLevel_" + SendViewModel.Fast))
            compare(vm().selectedFeeLevel, SendViewModel.Fast)
            verify(!find("feeLevel_" + SendViewModel.Normal).isSelected)
            // Nothing to review until a recipient that can be paid and an amount above zero.
            verify(!find("reviewButton").enabled)
            // A test-network address, and a one-character typo, are refused as typed.
            typeInto("recipientField", "tb1qw508d6qejxtdg4y5r3zarvary0c5xw7kxpjzsx")
            compare(textOf("recipientError"), "This is a test-network address; this wallet pays"
                    + " on Bitcoin's main network (bc1...).")
            verify(find("recipientError").visible)
            typeInto("recipientField", "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyv")
            compare(textOf("recipientError"), "Not a valid Bitcoin address: its checksum does not"
                    + " match (check every character).")
            allRead("the refused recipient", sheet, "Send BTC")
            typeInto("amountField", "0.0005")
            verify(!find("reviewButton").enabled)
            typeInto("recipientField", "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu")
            compare(textOf("recipientError"), "")
            verify(!find("recipientError").visible)
            typeInto("amountField", "0.0000000001")
            compare(textOf("amountError"), "Invalid amount") // more decimals than BTC has
            verify(!find("reviewButton").enabled)
            typeInto("amountField", "0")
            verify(!find("reviewButton").enabled)
            // A payment the network would refuse as dust.
            typeInto("amountField", "0.00000545")
            compare(textOf("amountError"), "Below the network's dust limit: send at least "
                    + "0.00000546 BTC.")
            verify(!find("reviewButton").enabled)
            typeInto("amountField", "0.0005")
            compare(textOf("amountError"), "")
            verify(find("reviewButton").enabled)
            // The estimate of the level (141 vB at 50 sat/vB) and the total, each exact.
            tryCompare(find("estimatedFee"), "text", "0.0000705 BTC (50 sat/vB)")
            tryCompare(find("estimatedTotal"), "text", "0.0005705 BTC")
            // Max: the balance less that fee, exactly.
            mouseClick(find("maxButton"))
            compare(find("amountField").text, "0.0014295")
            allRead("the Bitcoin form", sheet, "Send BTC")
            shots("send-bitcoin")
            closeAll()
        }

        function test_1a_feeLabelsKeepClearOfTheirCards() {
            // The longest hints are the EVM chains'; each label keeps a margin inside its card
            // at the sheet's width, and every control of the form has a name.
            openOn(1)
            for (const level of [SendViewModel.Slow, SendViewModel.Normal, SendViewModel.Fast]) {
                const button = find("feeLevel_" + level)
                for (const name of ["feeLevelName", "feeLevelHint"]) {
                    const label = findAll(button, name, [], new Set())[0]
                    const at = label.mapToItem(button, 0, 0)
                    const left = at.x + (label.width - label.contentWidth) / 2
                    const right = left + label.contentWidth
                    verify(left >= 6 && right <= button.width - 6,
                           label.text + ": " + left + " to " + right + " in " + button.width)
                }
            }
            // The cards are as tall as the tallest needs, no taller.
            const heights = [SendViewModel.Slow, SendViewModel.Normal, SendViewModel.Fast].map(
                level => find("feeLevel_" + level))
            const tallest = Math.max(...heights.map(card => card.implicitHeight))
            for (const card of heights)
                compare(card.height, tallest)
            compare(fixture.unnamedControls(top.parent), [])
            closeAll()
        }

        function test_2_bitcoinWrongThenRightPasswordEndsSubmitted() {
            fixture.fundBitcoin(150000)
            reviewBitcoin("0.0005")
            // The whole recipient, and what the prepared payment pays: one coin and change at
            // the Normal level's 20 sat/vB.
            compare(textOf("detailTo"), btcRecipient)
            compare(textOf("detailAmount"), "0.0005 BTC")
            compare(textOf("detailFee"), "0.0000282 BTC (20 sat/vB)")
            compare(textOf("detailTotal"), "0.0005282 BTC")
            const send = find("sendButton")
            compare(send.text, "Send BTC")
            verify(!send.enabled)
            // A screen reader is told the same: the button's name and that it cannot be pressed;
            // every control of the review has a name.
            compare(fixture.accessibility(send).name, "Send BTC")
            compare(fixture.accessibility(send).enabled, false)
            compare(fixture.unnamedControls(top.parent), [])
            allRead("the review", confirm(), "Confirm Transaction")
            // A wrong password: back to the review with the reason; nothing broadcast.
            typeText("not the password")
            verify(send.enabled)
            compare(fixture.accessibility(send).enabled, true)
            mouseClick(send)
            tryCompare(vm(), "broadcastStep", TransactionFlow.Failed, 10000)
            verify(find("reviewPresentation").visible)
            compare(textOf("sendErrorLine"), "Incorrect password")
            verify(find("sendPasswordField").showsError)
            verify(vm().hasPassword) // kept to be corrected
            compare(fixture.bitcoinBroadcasts(), 0)
            allRead("the refused password")
            shots("send-review-failed")
            // The right one; Return and a press right after make one send, not two.
            tryVerify(() => find("sendPasswordField").activeFocus)
            typeInto("sendPasswordField", fixture.password())
            keyClick(Qt.Key_Return)
            mouseClick(send)
            verify(find("progressPresentation").visible)
            // Bitcoin has no confirmation to wait for here: it ends submitted, with its id.
            tryCompare(vm(), "broadcastStep", TransactionFlow.Submitted, 10000)
            compare(textOf("stepTitle"), "Transaction submitted")
            const symbols = ["stepSign", "stepBroadcast", "stepConfirm"].map(
                n => findAll(find(n), "stepSymbol", [], new Set())[0].name)
            compare(symbols, ["checkmark", "checkmark", "checkmark.shield"])
            compare(textOf("summaryAmount"), "0.0005 BTC")
            compare(textOf("summaryRecipient"), "to bc1qcr8t...306fyu")
            compare(find("txId").text, fixture.lastBitcoinBroadcast().txid)
            verify(find("doneButton").visible)
            compare(fixture.bitcoinBroadcasts(), 1)
            verify(!vm().hasPassword) // used: gone once the transaction left
            compare(fixture.lastBitcoinBroadcast().fee, "0.0000282 BTC")
            allRead("submitted", confirm(), "Confirm Transaction")
            shots("send-submitted")
            mouseClick(find("doneButton"))
            tryVerify(() => !sheet.visible)
            compare(vm(), null)
        }

        function test_3_bitcoinMoreThanTheBalanceIsRefusedBeforeTheReview() {
            openOn(0)
            typeInto("recipientField", btcRecipient)
            typeInto("amountField", "0.01") // the screen does not judge the balance
            tryVerify(() => find("reviewButton").enabled)
            mouseClick(find("reviewButton"))
            // Preparing finds the coins short: the reason in the form, no review, no password.
            tryVerify(() => textOf("sendError").startsWith("Insufficient funds"))
            verify(!confirm().opened)
            verify(!vm().hasReview)
            compare(fixture.bitcoinBroadcasts(), 1)
            // An edit takes the reason away; a new sheet starts afresh.
            typeInto("amountField", "0.001")
            compare(textOf("sendError"), "")
            closeAll()
            openOn(0)
            compare(textOf("sendError"), "")
            compare(vm().broadcastStep, TransactionFlow.Idle)
            closeAll()
        }

        function test_4_bitcoinSheetsClosedWhileSendingShowItsEndAgain() {
            reviewBitcoin("0.0002")
            typeText(fixture.password())
            keyClick(Qt.Key_Return)
            verify(find("progressPresentation").visible)
            closeAll() // the send goes on in its flow
            openOn(0)
            tryVerify(() => confirm().opened)
            tryCompare(vm(), "broadcastStep", TransactionFlow.Submitted, 10000)
            compare(textOf("summaryAmount"), "0.0002 BTC")
            compare(textOf("summaryRecipient"), "to bc1qcr8t...306fyu")
            compare(find("progressPercent").text, "100%")
            mouseClick(find("doneButton"))
            tryVerify(() => !sheet.visible)
            compare(fixture.bitcoinBroadcasts(), 2)
        }

        function test_5_polygonWrongThenRightPasswordAndSubmitted() {
            if (!fixture.startPolygon())
                skip("anvil is not installed")
            openOn(3)
            compare(find("sendHeader").title, "Send POL")
            verify(find("assetRow").visible)
            compare(textOf("assetChoice"), "POL (Native)")
            compare(textOf("balanceText"), "Balance: 100.000000 POL")
            compare(find("recipientField").placeholderText, "0x...")
            compare(levelTexts(SendViewModel.Slow), ["Economy", "", "~6 blocchi (~60 min)"])
            compare(levelTexts(SendViewModel.Normal), ["Normal", "", "~3 blocchi (~30 min)"])
            compare(levelTexts(SendViewModel.Fast), ["Priority", "", "Prossimo blocco (~10 min)"])
            typeInto("recipientField", recipient)
            typeInto("amountField", "1.1")
            tryVerify(() => find("estimateBox").visible && !vm().isFetchingFees)
            tryVerify(() => textOf("estimatedFee").endsWith(" Gwei)"))
            mouseClick(find("reviewButton"))
            tryVerify(() => confirm().opened)
            compare(textOf("detailTo"), recipient)
            compare(textOf("detailAmount"), "1.1 POL")
            verify(/^[0-9.]+ POL \([0-9.]+ Gwei\)$/.test(textOf("detailFee")), textOf("detailFee"))
            const shownFee = textOf("detailFee")
            const shownTotal = textOf("detailTotal")
            const send = find("sendButton")
            compare(send.text, "Send POL")
            verify(!send.enabled) // no password yet
            // A wrong password: back to the review, the reason under the field, nothing sent.
            tryVerify(() => find("sendPasswordField").activeFocus)
            typeText("not the password")
            verify(send.enabled)
            mouseClick(send)
            tryCompare(vm(), "broadcastStep", TransactionFlow.Failed, 10000)
            verify(find("reviewPresentation").visible)
            compare(textOf("sendErrorLine"), "Incorrect password")
            verify(find("sendPasswordField").showsError)
            verify(vm().hasPassword) // kept to be corrected
            compare(fixture.rawTransactionsSent(), 0)
            shots("send-evm-review-failed")
            // The right one, with receipts held back; Return and a press right after start
            // one send, not two.
            fixture.holdReceipts(true)
            tryVerify(() => find("sendPasswordField").activeFocus)
            // What a screen reader could not read as each step of the progress began.
            const unreadAtStep = {}
            const noteStep = () => {
                if (find("progressPresentation").visible)
                    unreadAtStep[vm().broadcastStep] = fixture.unexposedTexts(top)
            }
            vm().broadcastStepChanged.connect(noteStep)
            typeInto("sendPasswordField", fixture.password())
            keyClick(Qt.Key_Return)
            mouseClick(send)
            verify(find("progressPresentation").visible)
            tryCompare(vm(), "broadcastStep", TransactionFlow.WaitingConfirmation, 10000)
            vm().broadcastStepChanged.disconnect(noteStep)
            compare(textOf("stepTitle"), "Waiting for confirmation...")
            // The progress is read at each step, also while the chain keeps it waiting.
            compare(unreadAtStep, {[TransactionFlow.Signing]: [],
                                   [TransactionFlow.Broadcasting]: [],
                                   [TransactionFlow.WaitingConfirmation]: []})
            allRead("waiting for the receipt", confirm(), "Confirm Transaction")
            compare(fixture.accessibility(find("stepTitle")).name, "Waiting for confirmation...")
            compare(stepSymbols(), ["checkmark", "checkmark", "checkmark.shield"])
            compare(textOf("summaryAmount"), "1.1 POL")
            compare(textOf("summaryRecipient"), "to 0x353535...353535")
            verify(find("txIdBlock").visible)
            compare(find("txId").text.length, 66)
            polygonHashes.push(find("txId").text)
            verify(!find("doneButton").visible)
            shots("send-evm-waiting")
            // No receipt within the wait: submitted, with its id and Done, never "sent!".
            tryCompare(vm(), "broadcastStep", TransactionFlow.Submitted, 10000)
            compare(textOf("stepTitle"), "Transaction submitted")
            verify(textOf("stepNote").startsWith("It left for the network"))
            verify(find("doneButton").visible)
            compare(fixture.rawTransactionsSent(), 1)
            verify(!vm().hasPassword) // gone once the transaction left
            compare(fixture.polygonBalance(recipient), "0xf43fc2c04ee0000") // 1.1 POL exactly
            // Signed as shown: the max fee (gas limit x fee cap) and the total of the review.
            const signed = fixture.polygonSigned(find("txId").text)
            verify(shownFee.startsWith(signed.maxFee + " ("), shownFee + " vs " + signed.maxFee)
            compare(shownTotal, signed.total)
            shots("send-evm-submitted")
            mouseClick(find("doneButton"))
            tryVerify(() => !sheet.visible)
            compare(vm(), null)
        }

        function test_6_polygonConfirmedAfterItsSheetsClosed() {
            if (!fixture.startPolygon())
                skip("anvil is not installed")
            reviewOn(3, recipient, "0.5")
            // The node's gas price x1000 between the review and the press: nothing is signed,
            // the review shows the new max fee, and the next press signs exactly that.
            const shownFee = textOf("detailFee")
            fixture.raisePolygonGasPrice(1000)
            typeText(fixture.password())
            mouseClick(find("sendButton"))
            tryCompare(vm(), "broadcastStep", TransactionFlow.Failed, 10000)
            verify(find("reviewPresentation").visible)
            const raisedFee = textOf("detailFee")
            verify(raisedFee !== shownFee)
            compare(textOf("sendErrorLine"), "This transaction needs a max fee of " + raisedFee
                    + ", more than the fee shown. Review the new fee and send again.")
            compare(fixture.rawTransactionsSent(), 1)
            verify(vm().hasPassword)
            const raisedTotal = textOf("detailTotal")
            keyClick(Qt.Key_Return)
            verify(find("progressPresentation").visible)
            // Both sheets closed at once: the send goes on in its flow.
            closeAll()
            openOn(3)
            tryVerify(() => confirm().opened)
            tryCompare(vm(), "broadcastStep", TransactionFlow.Confirmed, 10000)
            compare(textOf("stepTitle"), "Transaction sent!")
            compare(stepSymbols(), ["checkmark", "checkmark", "checkmark"])
            compare(textOf("summaryAmount"), "0.5 POL")
            compare(find("progressPercent").text, "100%")
            verify(find("doneButton").visible)
            compare(fixture.rawTransactionsSent(), 2)
            polygonHashes.push(find("txId").text)
            const signed = fixture.polygonSigned(find("txId").text)
            verify(raisedFee.startsWith(signed.maxFee + " ("), raisedFee + " vs " + signed.maxFee)
            compare(raisedTotal, signed.total)
            // The node moved exactly 1.1 + 0.5 POL besides the two receipts' fees.
            compare(fixture.polygonBalance(recipient), "0x16345785d8a00000")
            compare(fixture.polygonSentWithoutFees(polygonHashes), "1600000000000000000")
            shots("send-evm-confirmed")
            mouseClick(find("doneButton"))
            tryVerify(() => !sheet.visible)
        }

        function test_7_polygonMoreThanTheBalanceFailsBeforeSending() {
            if (!fixture.startPolygon())
                skip("anvil is not installed")
            reviewOn(3, recipient, "1000") // the screen does not judge the balance
            typeText(fixture.password())
            mouseClick(find("sendButton"))
            tryCompare(vm(), "broadcastStep", TransactionFlow.Failed, 10000)
            // The node refuses the signed transaction; nothing left, so the review shows why.
            verify(find("reviewPresentation").visible)
            verify(/insufficient funds/i.test(textOf("sendErrorLine")), textOf("sendErrorLine"))
            compare(fixture.rawTransactionsSent(), 3)
            compare(fixture.polygonBalance(recipient), "0x16345785d8a00000")
            // Cancel keeps the form, which shows the same reason.
            mouseClick(find("cancelSendButton"))
            tryVerify(() => !confirm().visible)
            compare(find("amountField").text, "1000")
            compare(textOf("sendError"), textOf("sendErrorLine"))
            closeAll()
            openOn(3)
            compare(textOf("sendError"), "")
            compare(vm().broadcastStep, TransactionFlow.Idle)
            closeAll()
        }

        function test_8_solanaWrongThenRightPasswordConfirmed() {
            if (!fixture.startSolana())
                skip("node or litesvm is missing")
            const to = fixture.solanaRecipient()
            openOn(4)
            compare(find("sendHeader").title, "Send SOL")
            compare(textOf("balanceText"), "Balance: 5.0000 SOL")
            typeInto("recipientField", to)
            typeInto("amountField", "1.000000001")
            tryCompare(find("estimatedFee"), "text", "0.000005 SOL")
            tryCompare(find("estimatedTotal"), "text", "1.000005001 SOL")
            mouseClick(find("reviewButton"))
            tryVerify(() => confirm().opened)
            tryVerify(() => find("sendPasswordField").activeFocus)
            compare(textOf("detailTo"), to)
            compare(textOf("detailAmount"), "1.000000001 SOL")
            compare(textOf("detailFee"), "0.000005 SOL")
            compare(textOf("detailTotal"), "1.000005001 SOL")
            compare(find("sendButton").text, "Send SOL")
            typeText("not the password")
            mouseClick(find("sendButton"))
            tryCompare(vm(), "broadcastStep", TransactionFlow.Failed, 10000)
            compare(textOf("sendErrorLine"), "Incorrect password")
            compare(fixture.solanaTransactionsSent(), 0)
            tryVerify(() => find("sendPasswordField").activeFocus)
            typeInto("sendPasswordField", fixture.password())
            keyClick(Qt.Key_Return)
            verify(find("progressPresentation").visible)
            tryCompare(vm(), "broadcastStep", TransactionFlow.Confirmed, 10000)
            compare(textOf("stepTitle"), "Transaction sent!")
            compare(textOf("summaryAmount"), "1.000000001 SOL")
            verify(find("txId").text.length >= 64) // a Base58 signature
            compare(fixture.solanaTransactionsSent(), 1)
            // Exact lamports arrive; the wallet paid the review's total: them and the one
            // signature's fee.
            compare(fixture.solanaLamports(to), "1000000001")
            compare(fixture.solanaLamports(""), String(5000000000 - 1000005001))
            shots("send-solana-confirmed")
            mouseClick(find("doneButton"))
            tryVerify(() => !sheet.visible)
        }

        // A payment of two coins, and Max on a balance of three: the review shows what those
        // coins pay (two or three inputs at the rate shown), the first press sends it, and what
        // was signed pays exactly that fee and total.
        function test_9_bitcoinSeveralCoinsSendAtOnceAsReviewed() {
            fixture.setBitcoinFees()
            fixture.fundBitcoin(50000, 3)
            let broadcasts = fixture.bitcoinBroadcasts()
            reviewBitcoin("0.0008")
            // Two inputs and change: 209 vB at 20 sat/vB (the old review assumed 141).
            compare(textOf("detailFee"), "0.0000418 BTC (20 sat/vB)")
            compare(textOf("detailTotal"), "0.0008418 BTC")
            typeText(fixture.password())
            mouseClick(find("sendButton"))
            tryCompare(vm(), "broadcastStep", TransactionFlow.Submitted, 10000)
            compare(fixture.bitcoinBroadcasts(), broadcasts + 1)
            let signed = fixture.lastBitcoinBroadcast()
            compare(signed.inputs, 2)
            compare(signed.fee, "0.0000418 BTC")
            compare(signed.total, "0.0008418 BTC")
            mouseClick(find("doneButton"))
            tryVerify(() => !sheet.visible)

            broadcasts = fixture.bitcoinBroadcasts()
            openOn(0)
            typeInto("recipientField", btcRecipient)
            tryVerify(() => find("estimateBox").visible && !vm().isFetchingFees)
            mouseClick(find("maxButton"))
            compare(find("amountField").text, "0.0014718") // 150000 less 141 vB at 20 sat/vB
            tryVerify(() => !vm().isFetchingFees)
            mouseClick(find("reviewButton"))
            tryVerify(() => confirm().opened)
            // Every coin to one output: 246 vB at 20 sat/vB; the form's amount follows.
            compare(textOf("detailAmount"), "0.0014508 BTC")
            compare(textOf("detailFee"), "0.0000492 BTC (20 sat/vB)")
            compare(textOf("detailTotal"), "0.0015 BTC")
            compare(find("amountField").text, "0.0014508")
            tryVerify(() => find("sendPasswordField").activeFocus)
            typeText(fixture.password())
            mouseClick(find("sendButton"))
            tryCompare(vm(), "broadcastStep", TransactionFlow.Submitted, 10000)
            compare(textOf("summaryAmount"), "0.0014508 BTC")
            compare(fixture.bitcoinBroadcasts(), broadcasts + 1)
            signed = fixture.lastBitcoinBroadcast()
            compare(signed.inputs, 3)
            compare(signed.fee, "0.0000492 BTC")
            compare(signed.total, "0.0015 BTC")
            mouseClick(find("doneButton"))
            tryVerify(() => !sheet.visible)
        }
    }
}
