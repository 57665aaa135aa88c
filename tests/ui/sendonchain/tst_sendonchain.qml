import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui

Item {
    width: 720
    height: 720

    SendSheetHost { id: sheet }
    SignalSpy { id: runEnds; signalName: "finished" }

    TestCase {
        name: "SendOnChain"
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
        // The review of `amount` to `to` on `chain`, its figures as shown: {fee, total}.
        function review(chain, to, amount) {
            sheet.chain = chain
            sheet.preselectedToken = null
            sheet.open()
            tryVerify(() => sheet.opened && vm() !== null)
            typeInto("recipientField", to)
            typeInto("amountField", amount)
            tryVerify(() => find("reviewButton").enabled && !vm().isFetchingFees)
            mouseClick(find("reviewButton"))
            tryVerify(() => confirm().opened, 10000)
            tryVerify(() => find("sendPasswordField").activeFocus)
            compare(textOf("detailTo"), to)
            return { fee: textOf("detailFee"), total: textOf("detailTotal") }
        }
        // The password and Send; the flow must end at `step`.
        function sendAndEndAt(step) {
            typeInto("sendPasswordField", fixture.password())
            mouseClick(find("sendButton"))
            const ends = [TransactionFlow.Confirmed, TransactionFlow.Submitted,
                          TransactionFlow.Reverted, TransactionFlow.Failed]
            tryVerify(() => ends.includes(vm().broadcastStep), 30000)
            compare(vm().broadcastStep, step, "ended with \"" + vm().errorMessage + "\"")
        }
        // The end of a send that left: its id on the sheet, Done, and nothing to sign again.
        function verifyEndedWithId() {
            verify(find("progressPresentation").visible)
            verify(!find("reviewPresentation").visible)
            verify(find("txIdBlock").visible)
            verify(find("doneButton").visible)
            verify(!vm().hasPassword)
            return find("txId").text
        }
        // The password, then Send again each time the send ends Failed (a server that keeps
        // what it refuses, whose lookups lag), until it ends otherwise; at most 100 presses.
        function pressUntilItLeaves() {
            typeInto("sendPasswordField", fixture.password())
            runEnds.target = vm().flow
            runEnds.clear()
            let presses = 0
            do {
                tryVerify(() => find("sendButton").enabled, 10000)
                mouseClick(find("sendButton"))
                ++presses
                tryVerify(() => runEnds.count === presses, 30000)
            } while (vm().broadcastStep === TransactionFlow.Failed && presses < 100)
            verify([TransactionFlow.Confirmed, TransactionFlow.Submitted].includes(
                       vm().broadcastStep), "ended with \"" + vm().errorMessage + "\"")
            return presses
        }
        function done() {
            mouseClick(find("doneButton"))
            tryVerify(() => !sheet.visible)
        }
        // "0.0000418 BTC (20 sat/vB)" -> "0.0000418 BTC"
        function amountOf(feeText) { return feeText.split(" (")[0] }

        readonly property string p2wshRecipient:
            "bc1qrp33g0q5c5txsp9arysrx4k6zdkfs4nce4xj0gdcccefvpysxf3qccfmv3"
        readonly property string p2wpkhRecipient: "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4"
        readonly property string p2trRecipient:
            "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqzk5jj0"
        readonly property string polygonRecipient: "0x3535353535353535353535353535353535353535"

        function initTestCase() {
            fixture.createWallet()
        }
        // Each test starts with servers that answer and no sheet open.
        function cleanup() {
            fixture.answerBroadcasts()
            if (sheet.visible && find("doneButton") && find("doneButton").visible) {
                done()
                return
            }
            if (confirm() && confirm().visible) {
                confirm().close()
                tryVerify(() => !confirm().visible)
            }
            if (sheet.visible) {
                sheet.close()
                tryVerify(() => !sheet.visible)
            }
        }

        // Two coins to a P2WSH script: the fee and total of the review are what the accepted
        // transaction pays.
        function test_1_bitcoinPaysTheReviewedFeeAndTotal() {
            if (!fixture.startBitcoin())
                skip("node is not installed")
            const shown = review(0, p2wshRecipient, "0.0008")
            compare(textOf("detailAmount"), "0.0008 BTC")
            sendAndEndAt(TransactionFlow.Submitted)
            const id = verifyEndedWithId()
            const received = fixture.bitcoinReceived(p2wshRecipient)
            compare(received.amount, "0.0008 BTC")
            compare(received.txids, [id])
            const taken = fixture.bitcoinTaken(id, p2wshRecipient)
            compare(taken.fee, amountOf(shown.fee))
            compare(taken.spent, shown.total)
            done()
        }

        // The server takes the transaction and every answer to a broadcast is lost: the
        // recipient is paid once, the sheet shows that transaction's id and offers no second signing.
        function test_2_bitcoinLostAnswerPaysOnce_data() {
            return [{ tag: "timedOut", to: p2wpkhRecipient },
                    { tag: "dropped", to: p2trRecipient }]
        }
        function test_2_bitcoinLostAnswerPaysOnce(row) {
            if (!fixture.startBitcoin())
                skip("node is not installed")
            fixture.loseBitcoinAnswers(row.tag)
            const broadcasts = fixture.bitcoinBroadcasts()
            const shown = review(0, row.to, "0.0003")
            sendAndEndAt(TransactionFlow.Submitted)
            const id = verifyEndedWithId()
            verify(fixture.bitcoinBroadcasts() > broadcasts)
            const received = fixture.bitcoinReceived(row.to)
            compare(received.amount, "0.0003 BTC")
            compare(received.txids, [id])
            compare(fixture.bitcoinTaken(id, row.to).spent, shown.total)
            done()
        }

        // The max network fee shown is the signed gas limit times fee cap, and bounds what
        // the receipt charged; the wallet lost the amount and that charge, nothing more.
        function test_3_polygonPaysWithinTheReviewedMaxFee() {
            if (!fixture.startPolygon())
                skip("anvil is not installed")
            const before = fixture.polygonBalance(fixture.polygonSenderAddress())
            const shown = review(3, polygonRecipient, "1.25")
            sendAndEndAt(TransactionFlow.Confirmed)
            const id = verifyEndedWithId()
            const taken = fixture.polygonTaken(id, before)
            compare(amountOf(shown.fee), taken.maxFee)
            compare(shown.total, taken.maxTotal)
            compare(taken.value, "1.25 POL")
            verify(taken.feeWithinMax, taken.fee + " above " + taken.maxFee)
            compare(taken.spentBeyondValue, taken.fee)
            compare(fixture.polygonBalance(polygonRecipient), "1.25 POL")
            done()
        }

        // The node takes the transaction and every answer to a broadcast is lost (a dropped
        // connection makes Qt send it again, lost too): one transaction mined, the
        // recipient paid once, its hash on the sheet.
        function test_4_polygonLostAnswerPaysOnce_data() {
            return [{ tag: "gateway", to: "0x4646464646464646464646464646464646464646" },
                    { tag: "timedOut", to: "0x5757575757575757575757575757575757575757" },
                    { tag: "dropped", to: "0x6868686868686868686868686868686868686868" }]
        }
        function test_4_polygonLostAnswerPaysOnce(row) {
            if (!fixture.startPolygon())
                skip("anvil is not installed")
            fixture.losePolygonAnswers(row.tag)
            const sent = fixture.polygonSentCount()
            const before = fixture.polygonBalance(fixture.polygonSenderAddress())
            review(3, row.to, "0.75")
            sendAndEndAt(TransactionFlow.Confirmed)
            const id = verifyEndedWithId()
            verify(fixture.requests("polygon", "eth_sendRawTransaction") >= 1)
            compare(fixture.polygonSentCount(), sent + 1)
            compare(fixture.polygonBalance(row.to), "0.75 POL")
            const taken = fixture.polygonTaken(id, before)
            compare(taken.value, "0.75 POL")
            compare(taken.spentBeyondValue, taken.fee)
            done()
        }

        // The review's fee and total are what the runtime charged.
        function test_5_solanaPaysTheReviewedFeeAndTotal() {
            if (!fixture.startSolana())
                skip("node or litesvm is missing")
            const to = fixture.solanaRecipient(0x42)
            const before = fixture.solanaBalance("")
            const shown = review(4, to, "0.5")
            compare(shown.fee, "0.000005 SOL")
            sendAndEndAt(TransactionFlow.Confirmed)
            verifyEndedWithId()
            compare(fixture.solanaBalance(to), "0.5 SOL")
            compare(fixture.solanaSpentSince(before), shown.total)
            done()
        }

        // The runtime takes the transaction and every answer to a broadcast is lost: paid once (one amount,
        // one fee), its signature on the sheet.
        function test_6_solanaLostAnswerPaysOnce_data() {
            return [{ tag: "dropped", fill: 0x43 }, { tag: "timedOut", fill: 0x44 },
                    { tag: "gateway", fill: 0x45 }]
        }
        function test_6_solanaLostAnswerPaysOnce(row) {
            if (!fixture.startSolana())
                skip("node or litesvm is missing")
            fixture.loseSolanaAnswers(row.tag)
            const to = fixture.solanaRecipient(row.fill)
            const before = fixture.solanaBalance("")
            const shown = review(4, to, "0.25")
            sendAndEndAt(TransactionFlow.Confirmed)
            const id = verifyEndedWithId()
            verify(id.length >= 64)
            verify(fixture.requests("solana", "sendTransaction") >= 1)
            compare(fixture.solanaBalance(to), "0.25 SOL")
            compare(fixture.solanaSpentSince(before), shown.total)
            done()
        }

        // The server keeps the transaction and answers an error (one that says it has it, or
        // another), and its lookups do not see it for 5 s. When the send fails, the user changes
        // the amount, reviews it and presses Send again until the send ends: the recipient is
        // paid once, the first amount, and the sheet shows the id of what landed.
        function test_7_keptRefusalPaysOnce_data() {
            return [
                { tag: "bitcoin txn-already-in-mempool", chain: 0, fill: 0x71, amount: "0.0002",
                  changed: "0.0004",
                  refusal: "the transaction was rejected by network rules.\n\ntxn-already-in-mempool" },
                { tag: "bitcoin daemon error", chain: 0, fill: 0x72, amount: "0.0001",
                  changed: "0.0003", refusal: "daemon error: timeout" },
                { tag: "polygon already known", chain: 3, fill: 0x73, amount: "0.5", changed: "1",
                  refusal: "already known" },
                { tag: "polygon behind", chain: 3, fill: 0x74, amount: "0.25", changed: "0.75",
                  refusal: "Node is behind" },
                { tag: "solana already processed", chain: 4, fill: 0x75, amount: "0.125",
                  changed: "0.25",
                  refusal: "Transaction simulation failed: This transaction has already been processed" },
                { tag: "solana behind", chain: 4, fill: 0x76, amount: "0.0625", changed: "0.5",
                  refusal: "Node is behind by 42 slots" },
            ]
        }
        function test_7_keptRefusalPaysOnce(row) {
            const family = ["bitcoin", "", "", "polygon", "solana"][row.chain]
            if (!(family === "bitcoin" ? fixture.startBitcoin()
                  : family === "polygon" ? fixture.startPolygon() : fixture.startSolana()))
                skip("the chain's peer is not installed")
            const to = family === "bitcoin" ? fixture.bitcoinRecipient(row.fill)
                     : family === "polygon" ? "0x" + row.fill.toString(16).repeat(20)
                     : fixture.solanaRecipient(row.fill)
            const symbol = ["BTC", "", "", "POL", "SOL"][row.chain]
            const sent = family === "polygon" ? fixture.polygonSentCount() : 0
            const before = family === "solana" ? fixture.solanaBalance("")
                         : family === "polygon"
                         ? fixture.polygonBalance(fixture.polygonSenderAddress()) : ""
            fixture.keepAndRefuse(family, row.refusal)
            const shown = review(row.chain, to, row.amount)
            typeInto("sendPasswordField", fixture.password())
            runEnds.target = vm().flow
            runEnds.clear()
            mouseClick(find("sendButton"))
            tryVerify(() => runEnds.count === 1, 30000)
            if (vm().broadcastStep === TransactionFlow.Failed) {
                // Another amount: its signing must conflict with the first, or wait for it.
                confirm().close()
                tryVerify(() => !confirm().visible)
                typeInto("amountField", row.changed)
                tryVerify(() => find("reviewButton").enabled && !vm().isFetchingFees)
                mouseClick(find("reviewButton"))
                tryVerify(() => confirm().opened, 10000)
                pressUntilItLeaves()
            }
            const id = verifyEndedWithId()
            const kept = fixture.keptIds()
            verify(kept.length >= 1)
            compare(id, kept[0], "the first transaction kept is the one shown")
            if (family === "bitcoin") {
                const received = fixture.bitcoinReceived(to)
                compare(received.txids, [id])
                compare(received.amount, row.amount + " " + symbol)
                compare(fixture.bitcoinTaken(id, to).spent, shown.total)
            } else if (family === "polygon") {
                compare(fixture.polygonBalance(to), row.amount + " " + symbol)
                compare(fixture.polygonSentCount(), sent + 1)
                const taken = fixture.polygonTaken(id, before)
                compare(taken.value, row.amount + " " + symbol)
                compare(taken.spentBeyondValue, taken.fee)
            } else {
                compare(fixture.solanaBalance(to), row.amount + " " + symbol)
                compare(fixture.solanaSpentSince(before), shown.total)
                verify(fixture.solanaLanded(id))
            }
            done()
        }

        // The server keeps the send it refuses, and its lookups do not see it until the test
        // says. The same payment again is no replacement; another amount to another recipient
        // is, and the review says so (on Solana: that it waits for the blockhash). Sent once
        // the lookups caught up, that press follows the earlier send the chain knows: the sheet
        // names its amount, recipient and id, and says nothing new was signed; only the
        // earlier recipient is paid, once.
        function test_9_anEditedFormAfterAKeptRefusalShowsWhatMoved_data() {
            return [
                { tag: "polygon", chain: 3, fill: 0x91, other: 0x92, amount: "0.5",
                  changed: "0.25" },
                { tag: "bitcoin", chain: 0, fill: 0x93, other: 0x94, amount: "0.0002",
                  changed: "0.0005" },
                { tag: "solana", chain: 4, fill: 0x95, other: 0x96, amount: "0.125",
                  changed: "0.375" },
            ]
        }
        function test_9_anEditedFormAfterAKeptRefusalShowsWhatMoved(row) {
            const family = row.tag
            if (!(family === "bitcoin" ? fixture.startBitcoin()
                  : family === "polygon" ? fixture.startPolygon() : fixture.startSolana()))
                skip("the chain's peer is not installed")
            const recipient = fill => family === "bitcoin" ? fixture.bitcoinRecipient(fill)
                                    : family === "polygon" ? "0x" + fill.toString(16).repeat(20)
                                    : fixture.solanaRecipient(fill)
            // As the sheet shortens an address.
            const shortened = address => address.slice(0, 8) + "..." + address.slice(-6)
            const to = recipient(row.fill)
            const other = recipient(row.other)
            const symbol = ["BTC", "", "", "POL", "SOL"][row.chain]
            const sent = family === "polygon" ? fixture.polygonSentCount() : 0
            const before = family === "solana" ? fixture.solanaBalance("") : ""
            fixture.keepAndRefuse(family, "Node is behind", true)

            const shown = review(row.chain, to, row.amount)
            compare(textOf("detailAmount"), row.amount + " " + symbol)
            verify(!find("replacementNote").visible, "nothing earlier to replace")
            typeInto("sendPasswordField", fixture.password())
            runEnds.target = vm().flow
            runEnds.clear()
            mouseClick(find("sendButton"))
            tryVerify(() => runEnds.count === 1, 30000)
            compare(vm().broadcastStep, TransactionFlow.Failed)
            compare(fixture.keptIds().length, 1)
            const earlier = row.amount + " " + symbol + " to " + shortened(to)
            // The same payment, pressed again, replaces nothing.
            verify(find("reviewPresentation").visible)
            verify(!find("replacementNote").visible, "the same payment replaces nothing")

            confirm().close()
            tryVerify(() => !confirm().visible)
            typeInto("recipientField", other)
            typeInto("amountField", row.changed)
            tryVerify(() => find("reviewButton").enabled && !vm().isFetchingFees)
            mouseClick(find("reviewButton"))
            tryVerify(() => confirm().opened, 10000)
            compare(textOf("detailTo"), other)
            compare(textOf("detailAmount"), row.changed + " " + symbol)
            verify(find("replacementNote").visible, "another payment replaces the earlier one")
            compare(textOf("replacementNote"), family === "solana"
                    ? "Your earlier send of " + earlier + " may still go through; another "
                      + "transaction waits until its blockhash has expired."
                    : "This replaces your earlier send of " + earlier
                      + " that may still go through.")

            fixture.catchUp()
            typeInto("sendPasswordField", fixture.password())
            tryVerify(() => find("sendButton").enabled, 10000)
            mouseClick(find("sendButton"))
            tryVerify(() => runEnds.count === 2, 30000)
            compare(vm().broadcastStep, family === "bitcoin" ? TransactionFlow.Submitted
                                                             : TransactionFlow.Confirmed,
                    "ended with \"" + vm().errorMessage + "\"")
            const id = verifyEndedWithId()
            compare(fixture.keptIds(), [id])
            compare(textOf("summaryAmount"), row.amount + " " + symbol)
            compare(textOf("summaryRecipient"), "to " + shortened(to))
            verify(find("earlierNote").visible, "the face says it followed the earlier send")
            compare(textOf("earlierNote"),
                    "Your earlier send of " + earlier + " went through; nothing new was signed.")
            if (family === "bitcoin") {
                const received = fixture.bitcoinReceived(to)
                compare(received.txids, [id])
                compare(received.amount, row.amount + " " + symbol)
                compare(fixture.bitcoinReceived(other).txids, [])
                compare(fixture.bitcoinTaken(id, to).spent, shown.total)
            } else if (family === "polygon") {
                compare(fixture.polygonBalance(to), row.amount + " " + symbol)
                compare(fixture.polygonBalance(other), "0 " + symbol)
                compare(fixture.polygonSentCount(), sent + 1)
            } else {
                compare(fixture.solanaBalance(to), row.amount + " " + symbol)
                compare(fixture.solanaBalance(other), "0 " + symbol)
                compare(fixture.solanaSpentSince(before), shown.total)
            }
            done()
        }

        // The node keeps the send it refuses and counts it, while no block or lookup shows it:
        // nobody can say which transaction took its nonce. The user edits the amount; each Send
        // says what the wallet knows, offers Send Anyway and signs nothing, and the review no
        // longer names the earlier send as replaced. Send Anyway signs one new transaction at
        // the next nonce: both amounts are paid, as the text warned.
        function test_10_sendAnywayIsTheUsersChoiceWhereNoServerCanTell() {
            if (!fixture.startPolygon())
                skip("anvil is not installed")
            const to = "0x" + "a1".repeat(20)
            const sent = fixture.polygonSentCount()
            fixture.keepAndRefuse("polygon", "Node is behind", true, true)
            review(3, to, "0.5")
            typeInto("sendPasswordField", fixture.password())
            runEnds.target = vm().flow
            runEnds.clear()
            mouseClick(find("sendButton"))
            tryVerify(() => runEnds.count === 1, 30000)
            compare(vm().broadcastStep, TransactionFlow.Failed)
            compare(fixture.keptIds().length, 1)
            verify(!find("sendAnywayButton").visible, "a refusal offers no choice")

            confirm().close()
            tryVerify(() => !confirm().visible)
            typeInto("amountField", "0.25")
            tryVerify(() => find("reviewButton").enabled && !vm().isFetchingFees)
            mouseClick(find("reviewButton"))
            tryVerify(() => confirm().opened, 10000)
            verify(find("replacementNote").visible)
            typeInto("sendPasswordField", fixture.password())
            const raw = fixture.requests("polygon", "eth_sendRawTransaction")
            for (let press = 2; press <= 3; ++press) {
                tryVerify(() => find("sendButton").enabled, 10000)
                mouseClick(find("sendButton"))
                tryVerify(() => runEnds.count === press, 30000)
                compare(vm().broadcastStep, TransactionFlow.Failed)
                compare(textOf("sendErrorLine"),
                        "Your earlier send of 0.5 POL to 0xa1a1a1...a1a1a1 may have gone "
                        + "through: the network has used its nonce, and no server shows by "
                        + "which transaction. Look for it in the account's history or on a "
                        + "block explorer. Nothing was signed. Send Anyway signs this one as a "
                        + "new transaction, which pays again if the earlier one went through.")
                verify(find("sendAnywayButton").visible)
                verify(!find("replacementNote").visible, "Send Anyway replaces nothing")
                compare(fixture.requests("polygon", "eth_sendRawTransaction"), raw,
                        "nothing signed without the choice")
            }

            fixture.answerNewTransactions()
            mouseClick(find("sendAnywayButton"))
            tryVerify(() => runEnds.count === 4, 30000)
            compare(vm().broadcastStep, TransactionFlow.Confirmed,
                    "ended with \"" + vm().errorMessage + "\"")
            const id = verifyEndedWithId()
            compare(fixture.keptIds().length, 1)
            verify(id !== fixture.keptIds()[0])
            compare(fixture.polygonNonce(fixture.keptIds()[0]), sent)
            compare(fixture.polygonNonce(id), sent + 1)
            compare(fixture.polygonSentCount(), sent + 2)
            compare(textOf("summaryAmount"), "0.25 POL")
            verify(!find("earlierNote").visible)
            compare(fixture.polygonBalance(to), "0.75 POL")
            done()
        }

        // A coin of the review is spent elsewhere as the wallet broadcasts: the server refuses
        // it (missing or spent) and keeps nothing, and a coin of 90,000 sat arrives. Send again:
        // the sheet pays from the other coins at the figures shown, once, and no longer needs
        // the coin spent elsewhere.
        function test_8_bitcoinCoinSpentElsewhereSendsAgain() {
            if (!fixture.startBitcoin())
                skip("node is not installed")
            const to = fixture.bitcoinRecipient(0x81)
            fixture.spendBitcoinElsewhere()
            const shown = review(0, to, "0.0004")
            typeInto("sendPasswordField", fixture.password())
            runEnds.target = vm().flow
            runEnds.clear()
            mouseClick(find("sendButton"))
            tryVerify(() => runEnds.count === 1, 30000)
            compare(vm().broadcastStep, TransactionFlow.Failed)
            compare(vm().errorMessage, "Server error 1: bad-txns-inputs-missingorspent")
            const spent = fixture.bitcoinSpentElsewhere()
            verify(spent.length >= 1)
            compare(fixture.bitcoinReceived(to).txids, [])

            // Other coins may need other figures: the sheet shows them, and Send again.
            let total = shown.total
            let presses = 1
            do {
                tryVerify(() => find("sendButton").enabled, 10000)
                total = textOf("detailTotal")
                mouseClick(find("sendButton"))
                ++presses
                tryVerify(() => runEnds.count === presses, 30000)
            } while (vm().broadcastStep === TransactionFlow.Failed &&
                     /send again\.$/.test(vm().errorMessage) && presses < 4)
            compare(vm().broadcastStep, TransactionFlow.Submitted,
                    "ended with \"" + vm().errorMessage + "\"")
            const id = verifyEndedWithId()
            const received = fixture.bitcoinReceived(to)
            compare(received.txids, [id])
            compare(received.amount, "0.0004 BTC")
            compare(fixture.bitcoinTaken(id, to).spent, total)
            const inputs = fixture.bitcoinInputs(id)
            for (const coin of spent)
                verify(!inputs.includes(coin), coin + " was spent elsewhere")
            done()
        }
    }
}
