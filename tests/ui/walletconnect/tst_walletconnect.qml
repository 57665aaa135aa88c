import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui

// The three WalletConnect sheets through the real QML: what they show, what each press sends
// to the dApp, and screenshots in both themes.
Item {
    id: top
    width: 900
    height: 700

    WalletConnectSheets { id: sheets }
    StatusBar { id: statusBar; width: 700; y: 650 }
    SidebarView { id: sidebar; width: 280; height: 600 }

    TestCase {
        name: "WalletConnect"
        when: windowShown

        readonly property var vm: WalletShell.walletConnect
        readonly property string account: "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"

        function sheet(name) { return findChild(sheets, name) }
        function item(sheetName, name) { return findChild(sheet(sheetName).contentItem, name) }
        // The sheet as drawn (its background and content), in both themes.
        function shoot(sheetName, file) {
            const popup = sheet(sheetName)
            const previous = BRThemeManager.current
            const shots = []
            for (const theme of BRThemeManager.themes.slice(0, 2)) {
                BRThemeManager.current = theme
                wait(150)
                const image = grabImage(popup.background.parent)
                image.save(fixture.screenshotPath("walletconnect-" + file + "-"
                                                  + theme.replace(/ /g, "-") + ".png"))
                shots.push(image)
            }
            BRThemeManager.current = previous
            verify(!shots[0].equals(shots[1]), file + ": the two themes look the same")
        }
        // Every text the window shows reaches a screen reader, and the sheet is a dialog named
        // `title`.
        function allRead(sheetName, title) {
            compare(fixture.unexposedTexts(top), [], sheetName)
            const told = fixture.accessibility(sheet(sheetName))
            compare([told.name, told.role], [title, 0x12], sheetName) // a dialog
        }
        function answerOf(index) { return JSON.parse(fixture.answer(index)) }
        // A new dApp paired, its proposal approved through the sheet.
        function connectDapp(name, proposalId) {
            fixture.newDapp(name, true)
            vm.pairingURI = fixture.pairingURI()
            vm.startPairing()
            tryCompare(vm, "isConnecting", false, 10000)
            fixture.propose(proposalId)
            const proposal = sheet("WCProposalSheet")
            tryCompare(proposal, "opened", true, 10000)
            mouseClick(item("WCProposalSheet", "proposalApproveButton"))
            tryCompare(proposal, "visible", false, 10000)
            fixture.readAnswer()
        }

        // The theme the tests start in.
        property string startTheme: ""
        function initTestCase() {
            startTheme = BRThemeManager.current
            fixture.setup()
            verify(fixture.relayConnected())
            verify(vm.isRelayConnected)
        }
        // The theme and the icon fetch's limits go back after each test, failed or not, so that
        // one failure stays one.
        function cleanup() {
            BRThemeManager.current = startTheme
            fixture.setIconLimits(512 * 1024, 10000)
        }

        function test_1_pairingAndProposal() {
            const pair = sheet("WCPairSheet")
            verify(!pair.visible)
            vm.showPairSheet = true
            tryCompare(pair, "opened", true)
            const field = item("WCPairSheet", "pairingURIField")
            const connect = item("WCPairSheet", "pairConnectButton")
            // The field takes the focus; empty or blank, Connect is off, Return still tries.
            tryCompare(field, "activeFocus", true)
            verify(!connect.enabled)
            vm.pairingURI = "  \n "
            verify(!connect.enabled)
            keyClick(Qt.Key_Return)
            tryCompare(vm, "pairError", "Invalid WalletConnect URI")
            compare(item("WCPairSheet", "pairError").text, "Invalid WalletConnect URI")
            verify(field.showsError)
            allRead("WCPairSheet", "Connect dApp")
            shoot("WCPairSheet", "pair-error")
            // A link past its expiry says so, and the sheet stays.
            vm.pairingURI = fixture.expiredPairingURI()
            mouseClick(connect)
            tryCompare(vm, "pairError", "This pairing link has expired. Ask the dApp for a new one.")
            compare(item("WCPairSheet", "pairError").text,
                    "This pairing link has expired. Ask the dApp for a new one.")
            verify(pair.opened)
            verify(vm.pairingURI.indexOf("expiryTimestamp=") > 0) // kept for the user to see

            // Cancel empties the field and the error; a pasted URI with blanks pairs.
            mouseClick(item("WCPairSheet", "pairCancelButton"))
            tryCompare(pair, "visible", false)
            compare(vm.pairingURI, "")
            compare(vm.hasPairError, false)
            vm.showPairSheet = true
            tryCompare(pair, "opened", true)
            vm.pairingURI = " " + fixture.pairingURI() + "\n"
            verify(connect.enabled)
            mouseClick(connect)
            tryCompare(pair, "visible", false, 10000)
            compare(vm.pairingURI, "")

            // The dApp proposes: the sheet shows who asks, with its icon from https only.
            fixture.propose(1)
            const proposal = sheet("WCProposalSheet")
            tryCompare(proposal, "opened", true, 10000)
            compare(item("WCProposalSheet", "proposalName").text, "Uniswap Interface")
            compare(item("WCProposalSheet", "proposalURL").text, "https://dapp.example")
            const icon = findChild(item("WCProposalSheet", "proposalIcon"), "dappIcon")
            tryCompare(icon, "status", DAppIcon.Ready, 10000)
            verify(!item("WCProposalSheet", "proposalGlobe").visible)
            allRead("WCProposalSheet", "Uniswap Interface")
            shoot("WCProposalSheet", "proposal")

            mouseClick(item("WCProposalSheet", "proposalApproveButton"))
            tryCompare(proposal, "visible", false, 10000)
            compare(fixture.sessionCount(), 1)
            fixture.readAnswer()
            compare(vm.sessions.length, 1)
            compare(vm.sessions[0].peerName, "Uniswap Interface")
        }

        function test_2_proposalsWithoutIconOrRejected() {
            fixture.newDapp("<b>Bold</b> dApp", false)
            vm.pairingURI = fixture.pairingURI()
            vm.startPairing()
            tryCompare(vm, "isConnecting", false, 10000)
            fixture.propose(7)
            const proposal = sheet("WCProposalSheet")
            tryCompare(proposal, "opened", true, 10000)
            // Markup is shown as written; an icon that is no address gives the globe.
            const name = item("WCProposalSheet", "proposalName")
            compare(name.text, "<b>Bold</b> dApp")
            compare(name.textFormat, Text.PlainText)
            verify(item("WCProposalSheet", "proposalGlobe").visible)
            mouseClick(item("WCProposalSheet", "proposalRejectButton"))
            tryCompare(proposal, "visible", false)
            tryVerify(() => fixture.proposalAnswerCount() === 1, 10000)
            compare(JSON.parse(fixture.proposalAnswer(0)).error.code, 5000)
        }

        // A typed-data request long enough to scroll, with an amount beyond 64 bits.
        function longTypedData() {
            const fields = [{ name: "value", type: "uint256" }]
            const message = { value: "115792089237316195423570985008687907853269984665640564039457584007913129639935" }
            for (let i = 0; i < 30; ++i) {
                fields.push({ name: "note" + i, type: "string" })
                message["note" + i] = "line " + i
            }
            return JSON.stringify({
                types: {
                    EIP712Domain: [{ name: "name", type: "string" }, { name: "chainId", type: "uint256" }],
                    Order: fields
                },
                primaryType: "Order",
                domain: { name: "Market", chainId: 137 },
                message: message
            })
        }

        function test_3_requestsInLine() {
            connectDapp("Uniswap Interface", 30)
            const before = fixture.answerCount()
            fixture.request(10, "eth_signTypedData_v4",
                            JSON.stringify([account, longTypedData()]), "eip155:137")
            fixture.request(11, "eth_sendTransaction", JSON.stringify([{
                from: account, to: "0x2222222222222222222222222222222222222222",
                value: "0x14d1120d7b160000" }]), "eip155:137")
            const request = sheet("WCRequestSheet")
            tryCompare(request, "opened", true, 10000)
            compare(item("WCRequestSheet", "requestDappName").text, "Uniswap Interface")
            compare(item("WCRequestSheet", "methodBadgeTitle").text, "Typed Data")
            compare(item("WCRequestSheet", "requestChain").text, "on Polygon")
            // The whole text, domain first, in a box that scrolls rather than grows.
            const message = item("WCRequestSheet", "requestMessage")
            verify(message.text.startsWith('{\n  "domain": {'))
            verify(message.text.indexOf("115792089237316195423570985008687907853269984665640564039457584007913129639935") > 0)
            verify(message.text.indexOf('"note29": "line 29"') > 0)
            const details = item("WCRequestSheet", "requestDetails")
            verify(details.height <= 180)
            verify(details.contentHeight > details.height)
            tryVerify(() => item("WCRequestSheet", "requestsWaiting").visible)
            compare(item("WCRequestSheet", "requestsWaiting").text, "1 more request waiting")
            // No password, no Sign; the field has the focus.
            verify(!item("WCRequestSheet", "requestSignButton").enabled)
            tryCompare(item("WCRequestSheet", "signPasswordField"), "activeFocus", true)
            shoot("WCRequestSheet", "typed-data")

            // Reject answers the one shown; the next takes its place, its field empty and
            // what was typed for the first wiped.
            typeText("half typed")
            verify(vm.hasPassword)
            mouseClick(item("WCRequestSheet", "requestRejectButton"))
            tryVerify(() => fixture.answerCount() === before + 1, 10000)
            compare(answerOf(before).id, 10)
            compare(answerOf(before).error.code, 5000)
            tryCompare(item("WCRequestSheet", "methodBadgeTitle"), "text", "Send Transaction")
            // The whole address, the value, and the max network fee and total of the
            // transaction as prepared for signing.
            verify(!item("WCRequestSheet", "requestMessage").visible)
            compare(item("WCRequestSheet", "transactionTo").text,
                    "0x2222222222222222222222222222222222222222")
            compare(item("WCRequestSheet", "transactionValue").text, "1.5 POL")
            compare(item("WCRequestSheet", "transactionNoData").text, "None")
            tryVerify(() => fixture.preparedMaxFee(11) !== "", 10000)
            tryCompare(item("WCRequestSheet", "transactionMaxFee"), "text", fixture.preparedMaxFee(11))
            verify(/^0\.0*[1-9][0-9]* POL$/.test(item("WCRequestSheet", "transactionMaxFee").text))
            compare(item("WCRequestSheet", "transactionTotal").text, fixture.preparedTotal(11))
            verify(!item("WCRequestSheet", "requestsWaiting").visible)
            compare(item("WCRequestSheet", "signPasswordField").text, "")
            verify(!vm.hasPassword)
            shoot("WCRequestSheet", "send-transaction")

            // Escape closes the sheet and rejects what it showed.
            keyClick(Qt.Key_Escape)
            tryCompare(request, "visible", false)
            tryVerify(() => fixture.answerCount() === before + 2, 10000)
            compare(answerOf(before + 1).id, 11)
            compare(answerOf(before + 1).error.code, 5000)
        }

        function test_4_unknownMethodsAndHostileTexts() {
            const before = fixture.answerCount()
            fixture.request(20, "eth_sign", JSON.stringify([account, "0x68"]), "eip155:1")
            const request = sheet("WCRequestSheet")
            tryCompare(request, "opened", true, 10000)
            compare(item("WCRequestSheet", "methodBadgeTitle").text, "eth_sign")
            compare(item("WCRequestSheet", "requestMessage").text, "Unknown method: eth_sign")
            mouseClick(item("WCRequestSheet", "requestRejectButton"))
            tryVerify(() => fixture.answerCount() === before + 1, 10000)

            const hostile = "<img src=\"http://127.0.0.1:9/x.png\"><b>bold</b>"
            fixture.request(21, "personal_sign", JSON.stringify([hostile, account]), "eip155:42161")
            tryCompare(request, "opened", true, 10000)
            const message = item("WCRequestSheet", "requestMessage")
            compare(message.text, hostile)
            compare(message.textFormat, Text.PlainText)
            compare(item("WCRequestSheet", "methodBadgeTitle").text, "Personal Sign")
            compare(item("WCRequestSheet", "requestChain").text, "on Arbitrum")
            mouseClick(item("WCRequestSheet", "requestRejectButton"))
            tryCompare(request, "visible", false)
        }

        Component {
            id: iconComponent
            DAppIcon { width: 56; height: 56 }
        }

        function test_5_iconsAreFencedByAddressSizeTimeAndFormat() {
            fixture.setIconLimits(512 * 1024, 500)
            const load = (url) => {
                const icon = createTemporaryObject(iconComponent, top, { url: url })
                tryVerify(() => icon.status === DAppIcon.Ready || icon.status === DAppIcon.Error,
                          5000, url)
                return icon.status
            }
            compare(load(fixture.iconURL("/icon.png")), DAppIcon.Ready)
            compare(load(fixture.iconURL("/big.png")), DAppIcon.Error)
            compare(load(fixture.iconURL("/stall.png")), DAppIcon.Error)
            compare(load(fixture.iconURL("/page.html")), DAppIcon.Error)
            compare(load(fixture.iconURL("/icon.svg")), DAppIcon.Error)
            compare(load(fixture.iconURL("/missing.png")), DAppIcon.Error)
            // Not https (and not this test's loopback server): refused without a request.
            const before = fixture.webRequests()
            compare(load("http://example.com/icon.png"), DAppIcon.Error)
            compare(load("ftp://127.0.0.1/icon.png"), DAppIcon.Error)
            compare(load("javascript:alert(1)"), DAppIcon.Error)
            compare(fixture.webRequests(), before)
            // An empty address is no icon at all.
            const none = createTemporaryObject(iconComponent, top, { url: "" })
            compare(none.status, DAppIcon.Null)
        }

        function test_6_relayDotAndConnectedDapps() {
            const dot = findChild(statusBar, "relayDot")
            compare(dot.tooltip, "WalletConnect relay connected")
            // The status bar's button opens the pairing sheet.
            mouseClick(findChild(statusBar, "connectButton"))
            tryCompare(sheet("WCPairSheet"), "opened", true)
            mouseClick(item("WCPairSheet", "pairCancelButton"))
            tryCompare(sheet("WCPairSheet"), "visible", false)

            // Every session is listed under its dApp's name; disconnecting one tells its dApp.
            const section = findChild(sidebar, "dappSection")
            verify(section.visible)
            const count = vm.sessions.length
            verify(count >= 2)
            const row = findChild(sidebar, "dappRow_0")
            verify(row)
            const disconnect = findChild(row, "disconnectButton")
            verify(disconnect.visible)
            disconnect.clicked() // the list may sit below the sidebar's fold
            tryVerify(() => vm.sessions.length === count - 1, 10000)
        }

        function typeText(text) {
            for (const c of text)
                keyClick(c)
        }

        function test_7_signWithThePassword() {
            connectDapp("Uniswap Interface", 40)
            const before = fixture.answerCount()
            fixture.request(50, "personal_sign", JSON.stringify(["0x48656c6c6f", account]), "eip155:1")
            const request = sheet("WCRequestSheet")
            tryCompare(request, "opened", true, 10000)
            compare(item("WCRequestSheet", "requestMessage").text, "Hello")
            const field = item("WCRequestSheet", "signPasswordField")
            const signButton = item("WCRequestSheet", "requestSignButton")
            tryCompare(field, "activeFocus", true)
            verify(!signButton.enabled)
            // A wrong password: the error under the field, the outline red, nothing answered.
            typeText("wrong horse")
            verify(signButton.enabled)
            mouseClick(signButton)
            tryCompare(vm, "signError", "Incorrect password", 20000)
            verify(field.showsError)
            // Used, so wiped: the field is empty and takes the keys again.
            compare(field.text, "")
            verify(!vm.hasPassword)
            verify(!signButton.enabled)
            tryCompare(field, "activeFocus", true)
            compare(item("WCRequestSheet", "signError").text, "Incorrect password")
            compare(fixture.answerCount(), before)
            allRead("WCRequestSheet", "Uniswap Interface")
            shoot("WCRequestSheet", "sign-error")
            // The right one, by Return: the confirmation, then the sheet goes.
            typeText("correct horse")
            vm.setSuccessMilliseconds(4000)
            keyClick(Qt.Key_Return)
            tryCompare(vm, "signSuccess", true, 20000)
            verify(item("WCRequestSheet", "confirmationState").visible)
            verify(!item("WCRequestSheet", "requestState").visible)
            compare(item("WCRequestSheet", "confirmationText").text, "Response sent to Uniswap Interface")
            allRead("WCRequestSheet", "Signed Successfully")
            shoot("WCRequestSheet", "signed")
            vm.setSuccessMilliseconds(1000)
            tryCompare(request, "visible", false, 10000)
            tryVerify(() => fixture.answerCount() === before + 1, 10000)
            const answer = answerOf(before)
            compare(answer.id, 50)
            verify(/^0x[0-9a-f]{130}$/.test(answer.result))
        }

        // One ABI word of a hex number (without "0x").
        function word(hex) { return "0".repeat(64 - hex.length) + hex }

        function test_8_transactionsAreReadWhole() {
            connectDapp("Router dApp", 60)
            const router = "0x7a250d5630B4cF539739dF2C5dAcb4c659F2488D"
            const usdc = "0x3c499c542cEF5E3811e1192ce70d8cC03d5c3359"
            const unknown = "0x00000000000000000000000000000000DeaDBeef"
            // A router call of 164 bytes, written in lower case by the dApp.
            let call = "0x38ed1739"
            for (let i = 1; i <= 5; ++i)
                call += word(i.toString(16))
            fixture.request(70, "eth_sendTransaction", JSON.stringify([{
                from: account, to: router.toLowerCase(), value: "0x2386f26fc10000", data: call }]),
                "eip155:137")
            // 12.5 USDC to the router, as a token transfer.
            fixture.request(71, "eth_sendTransaction", JSON.stringify([{
                from: account, to: usdc,
                data: "0xa9059cbb" + word(router.slice(2).toLowerCase()) + word("bebc20") }]),
                "eip155:137")
            // Every unit of a token the wallet does not know, to the router.
            fixture.request(72, "eth_sendTransaction", JSON.stringify([{
                from: account, to: unknown,
                data: "0x095ea7b3" + word(router.slice(2).toLowerCase()) + "f".repeat(64) }]),
                "eip155:137")
            fixture.request(73, "eth_signTransaction", JSON.stringify([{
                from: account, to: unknown,
                data: "0xa9059cbb" + word(router.slice(2).toLowerCase()) + word("3039") }]),
                "eip155:137")
            const request = sheet("WCRequestSheet")
            tryCompare(request, "opened", true, 10000)
            const text = (name) => item("WCRequestSheet", name).text
            compare(text("transactionTo"), router)
            compare(text("transactionValue"), "0.01 POL")
            verify(!item("WCRequestSheet", "transactionCallAmount").visible)
            compare(text("transactionData"), call)
            const data = item("WCRequestSheet", "transactionDataView")
            verify(data.height <= 96)
            verify(data.contentHeight > data.height)
            tryVerify(() => fixture.preparedMaxFee(70) !== "", 10000)
            tryCompare(item("WCRequestSheet", "transactionMaxFee"), "text", fixture.preparedMaxFee(70))
            shoot("WCRequestSheet", "contract-call")
            mouseClick(item("WCRequestSheet", "requestRejectButton"))

            tryCompare(item("WCRequestSheet", "transactionTo"), "text", usdc)
            compare(text("transactionCallAmount"), "12.5 USDC")
            compare(text("transactionCallParty"), router)
            verify(!item("WCRequestSheet", "transactionCallNote").visible)
            compare(text("transactionValue"), "0 POL")
            mouseClick(item("WCRequestSheet", "requestRejectButton"))

            tryVerify(() => text("transactionTo").toLowerCase() === unknown.toLowerCase())
            compare(text("transactionCallAmount"), "Unlimited")
            compare(text("transactionCallParty"), router)
            tryVerify(() => fixture.preparedMaxFee(72) !== "", 10000)
            shoot("WCRequestSheet", "unlimited-approval")
            mouseClick(item("WCRequestSheet", "requestRejectButton"))

            tryCompare(item("WCRequestSheet", "methodBadgeTitle"), "text", "Sign Transaction")
            compare(text("transactionCallAmount"), "12345 base units")
            verify(item("WCRequestSheet", "transactionCallNote").visible)
            mouseClick(item("WCRequestSheet", "requestRejectButton"))
            tryCompare(request, "visible", false)

            // Until the node has answered, the fee reads "Preparing…" and neither Sign nor
            // Return signs.
            fixture.stallEthereum()
            fixture.request(74, "eth_sendTransaction", JSON.stringify([{
                from: account, to: router, value: "0x1" }]), "eip155:1")
            tryCompare(request, "opened", true, 10000)
            compare(text("transactionMaxFee"), "Preparing…")
            verify(!item("WCRequestSheet", "transactionTotal").visible)
            const field = item("WCRequestSheet", "signPasswordField")
            tryCompare(field, "activeFocus", true)
            typeText("correct horse")
            verify(vm.hasPassword)
            verify(!item("WCRequestSheet", "requestSignButton").enabled)
            keyClick(Qt.Key_Return)
            verify(!vm.isSigning)
            verify(!vm.hasSignError)
            mouseClick(item("WCRequestSheet", "requestRejectButton"))
            tryCompare(request, "visible", false)
        }

        // Last: the wallet goes, and every session with it.
        function test_9_deletingTheWalletEndsEverySession() {
            verify(vm.sessions.length > 0)
            verify(fixture.sessionsFileExists())
            fixture.deleteWallet()
            compare(vm.sessions.length, 0)
            verify(!findChild(sidebar, "dappSection").visible)
            verify(!fixture.sessionsFileExists())
            verify(fixture.dappToldOfTheEnd())

            // Then the relay goes, and the next set-up (an unlock) cannot reach it: pairing
            // names the service it cannot reach, as the other failures do, not the socket's
            // words.
            fixture.killRelay()
            tryCompare(vm, "isRelayConnected", false, 10000)
            fixture.setup()
            vm.showPairSheet = true
            const pair = sheet("WCPairSheet")
            tryCompare(pair, "opened", true)
            vm.pairingURI = fixture.pairingURI()
            mouseClick(item("WCPairSheet", "pairConnectButton"))
            tryCompare(vm, "pairError", "Cannot connect to the WalletConnect relay", 30000)
            compare(item("WCPairSheet", "pairError").text, "Cannot connect to the WalletConnect relay")
            mouseClick(item("WCPairSheet", "pairCancelButton"))
            tryCompare(pair, "visible", false)
        }
    }
}
