import QtQuick
import QtTest
import Quillmark.Ui

Item {
    id: top
    width: 900
    height: 1400

    PortfolioView {
        id: view
        width: 700
        height: parent.height
    }
    PriceChartView {
        id: chart
        x: 700
        width: 200
        chain: 0
    }

    BTCAddressListView {
        id: addresses
        y: 1000
        width: 900
        height: 300
    }

    TestCase {
        name: "Portfolio"
        when: windowShown

        function findAll(item, prefix, out) {
            if (!item)
                return out
            if (item.objectName && item.objectName.startsWith(prefix))
                out.push(item)
            const children = item.children || []
            for (let i = 0; i < children.length; ++i)
                findAll(children[i], prefix, out)
            return out
        }
        function rows() {
            const list = findAll(view, "portfolioList", [])[0]
            list.forceLayout()
            return findAll(list.contentItem, "portfolioRow_", []).sort((a, b) => a.y - b.y)
        }
        function row(key) {
            return rows().find(r => r.key === key) || null
        }
        function textOf(item, name) {
            const found = findAll(item, name, [])
            return found.length ? found[0].text : undefined
        }

        function init() { fixture.clear(); wait(20) }

        function test_1_emptyWallet() {
            compare(view.portfolio.totalText, "$0.00")
            compare(textOf(view, "portfolioTotal"), "$0.00")
            compare(textOf(view, "portfolioAssetCount"), "0")
            compare(rows().length, 0)
        }

        function test_2_groupsRowsAndTotals() {
            fixture.fill()
            wait(50)
            // Groups in chain order, Arbitrum hidden without accounts; accounts, then tokens.
            compare(rows().map(r => r.key), [
                "bitcoin", "btc-0",
                "ethereum", "eth-0", "eth-0/0x01", "eth-0/0x02", "eth-0/0x03",
                "polygon", "poly-0",
                "solana", "sol-0", "sol-0/Mint1"])
            // 4 accounts + 3 EVM tokens + 1 Solana token.
            compare(textOf(view, "portfolioAssetCount"), "8")
            // The total is the sum of the chain totals: 75 + (1000 + 2.5 + 2) + 0 + 200.
            compare(view.portfolio.totalText, fixture.totalOfChains())
            compare(view.portfolio.totalText, "$1,279.50")

            compare(textOf(row("btc-0"), "assetRowBalance"), "0.00150000 BTC")
            compare(textOf(row("btc-0"), "assetRowFiat"), "$75.00")
            compare(textOf(row("eth-0"), "assetRowBalance"), "0.500000 ETH")
            compare(textOf(row("poly-0"), "assetRowFiat"), "$0.00") // no polygon price
            compare(textOf(row("poly-0"), "assetRowTicker"), "POL")
            compare(textOf(row("sol-0"), "assetRowBalance"), "2.0000 SOL")
            // The chain header shows its total only when above 0.
            compare(textOf(row("ethereum"), "chainTotal"), "$1,004.50")
            verify(!findAll(row("polygon"), "chainTotal", [])[0].visible)
            // Priced, unpriced EVM token; unpriced Solana token.
            compare(textOf(row("eth-0/0x01"), "tokenRowAmount"), "2.5000 USDC")
            compare(textOf(row("eth-0/0x01"), "tokenRowValue"), "$2.50")
            compare(textOf(row("eth-0/0x02"), "tokenRowValue"), "$0.00")
            compare(textOf(row("sol-0/Mint1"), "tokenRowAmount"), "12.3400 BONK")
            compare(textOf(row("sol-0/Mint1"), "tokenRowValue"), "--")
        }

        function test_3_hostileTokenTextIsShownLiterally() {
            const before = fixture.networkRequests()
            fixture.fill()
            wait(300)
            const hostile = row("eth-0/0x03")
            compare(textOf(hostile, "tokenRowName"), fixture.hostileName())
            compare(textOf(hostile, "tokenRowSymbol"), "<b>EVIL</b>")
            for (const t of findAll(hostile, "tokenRow", []))
                compare(t.textFormat, Text.PlainText)
            compare(textOf(hostile, "tokenDiscText"), "<B")
            compare(fixture.networkRequests(), before)
        }

        function test_4_aRefreshUpdatesItsRowOnly() {
            fixture.fill()
            wait(50)
            const btc = row("btc-0")
            const eth = row("eth-0")
            const token = row("eth-0/0x01")
            verify(fixture.setEthBalance(1.5))
            wait(20)
            // The same delegates: nothing was rebuilt; the changed row shows the new balance.
            verify(row("btc-0") === btc)
            verify(row("eth-0") === eth)
            verify(row("eth-0/0x01") === token)
            compare(textOf(eth, "assetRowBalance"), "1.500000 ETH")
            compare(textOf(eth, "assetRowFiat"), "$3,000.00")
            compare(textOf(row("ethereum"), "chainTotal"), "$3,004.50")
            compare(view.portfolio.totalText, fixture.totalOfChains())
        }

        function test_5_priceCard() {
            // No price, no points: the dash and the placeholder.
            compare(textOf(chart, "chartPairLabel"), "BTC / USD")
            verify(findAll(chart, "chartNoPrice", [])[0].visible)
            verify(!findAll(chart, "chartPrice", [])[0].visible)
            verify(findAll(chart, "chartPlaceholder", [])[0].visible)
            verify(!findAll(chart, "chartPlotArea", [])[0].visible)
            const placeholder = findAll(chart, "chartPlaceholder", [])[0]
            verify(placeholder.height >= 200 && placeholder.height <= 240)

            fixture.setPrice(0, 1234.567, -2.5)
            compare(textOf(chart, "chartPrice"), "$1,234.57")
            compare(textOf(chart, "chartChangeText"), "2.50%")
            compare(findAll(chart, "chartChangeArrow", [])[0].name, "arrow.down.right")
            fixture.setPrice(0, 999.999, 0)
            compare(textOf(chart, "chartPrice"), "$1000.00")
            compare(findAll(chart, "chartChangeArrow", [])[0].name, "arrow.up.right")

            // With points, the curve: line and area on the same path, labels on the axis.
            fixture.setPoints(0, 42, false)
            wait(20)
            verify(!findAll(chart, "chartPlaceholder", [])[0].visible)
            verify(findAll(chart, "chartPlotArea", [])[0].visible)
            verify(chart.model.linePath.startsWith("M 0.00 "))
            verify(chart.model.areaPath.startsWith(chart.model.linePath))
            verify(chart.model.yTicks.length >= 2)
            // One point and a flat series still draw a line.
            fixture.setPoints(0, 1, false)
            verify(chart.model.linePath.length > 0)
            fixture.setPoints(0, 5, true)
            verify(chart.model.linePath.length > 0)

            chart.chain = 2
            compare(textOf(chart, "chartPairLabel"), "ARB / USD")
            verify(findAll(chart, "chartPlaceholder", [])[0].visible)
        }

        function test_6_screenshotsInBothThemes() {
            fixture.fill()
            chart.chain = 0
            fixture.setPrice(0, 97123.45, 1.25)
            fixture.setPoints(0, 42, false)
            const previous = BRThemeManager.current
            const shots = []
            for (const theme of BRThemeManager.themes.slice(0, 2)) {
                BRThemeManager.current = theme
                wait(100)
                const image = grabImage(top)
                image.save(fixture.screenshotPath("portfolio-" + theme.replace(/ /g, "-") + ".png"))
                shots.push(image)
            }
            BRThemeManager.current = previous
            verify(!shots[0].equals(shots[1]), "the two themes look the same")
        }

        function test_7_addressTrashFollowsTheStateRule() {
            fixture.createWallet()
            const derived = addresses.model.rowCount()
            compare(derived, 5)
            addresses.model.generate()
            addresses.model.generate()
            // The signer derives and stores them one after the other.
            tryCompare(addresses.model, "countText", (derived + 2) + " indirizzi", 10000)
            compare(textOf(addresses, "addressCount"), (derived + 2) + " indirizzi")
            const rowAt = id => findAll(addresses, "addressRow_" + id, [])[0]
            const trashShown = id => {
                mouseMove(rowAt(id), 20, 10)
                wait(30)
                return findAll(rowAt(id), "addressTrash", [])[0].visible
            }
            // Before a server has answered, zero means unknown: no trash anywhere.
            verify(!trashShown(1))
            verify(!trashShown(2))
            fixture.markAddressesFetched(2)
            wait(30)
            verify(!trashShown(0))  // the first address
            verify(trashShown(1))   // fetched, empty, unused
            verify(!trashShown(2))  // funded
            mouseMove(addresses, 5, 5)
            wait(30)
            verify(!findAll(rowAt(1), "addressTrash", [])[0].visible) // only while hovered
            compare(textOf(rowAt(2), "addressBalance"), "1500 sat")

            mouseMove(rowAt(1), 20, 10)
            wait(30)
            mouseClick(findAll(rowAt(1), "addressTrash", [])[0])
            tryCompare(addresses.model, "countText", (derived + 1) + " indirizzi", 10000)
            compare(textOf(addresses, "addressCount"), (derived + 1) + " indirizzi")

            // Two quick deletes while the first still waits for its write remove the two
            // addresses clicked, not what sits at their positions once the first is gone.
            const indices = () => findAll(addresses, "addressRow_", [])
                .sort((a, b) => a.y - b.y).map(r => r.derivationIndex)
            compare(indices(), [0, 2, 3, 4, 5, 6])
            fixture.holdKeychain()
            for (const position of [2, 3]) {
                mouseMove(rowAt(position), 20, 10)
                mouseClick(findAll(rowAt(position), "addressTrash", [])[0])
            }
            compare(indices(), [0, 2, 3, 4, 5, 6])
            fixture.releaseKeychain()
            tryCompare(addresses.model, "countText", (derived - 1) + " indirizzi", 10000)
            compare(indices(), [0, 2, 5, 6])
        }
    }
}
