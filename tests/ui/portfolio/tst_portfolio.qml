import QtQuick
import QtTest
import Quillmark.Ui

Item {
    id: top
    width: 1300
    height: 1400

    PortfolioView {
        id: view
        width: 700
        height: parent.height
    }
    PriceChartView {
        id: chart
        x: 700
        width: 600
        chain: 0
    }

    TokenRow {
        id: tokenRow
        x: 700
        y: 700
        width: 600
        name: "USD Coin"
        symbol: "USDC"
    }

    BTCAddressListView {
        id: addresses
        x: 700
        y: 1000
        width: 600
        height: 400
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

        // What the tests change and the screen starts with: the theme, the token row's figures.
        property string startTheme: ""
        property var tokenRowStart: ({})
        readonly property var tokenRowFigures: ["decimals", "baseUnits", "balanceFormatted",
                                                "priceUSD"]

        function initTestCase() {
            startTheme = BRThemeManager.current
            for (const name of tokenRowFigures)
                tokenRowStart[name] = tokenRow[name]
        }

        // Signal handlers a test connected, dropped after it (with their objects, if gone).
        property var watches: []
        function watch(signal, handler) {
            signal.connect(handler)
            watches.push(() => signal.disconnect(handler))
        }
        function unwatchAll() {
            const connected = watches
            watches = []
            for (const unwatch of connected) {
                try {
                    unwatch()
                } catch (gone) {
                }
            }
        }

        // What a test changes for a while goes back after it, even when it failed halfway, so
        // that one failure stays one: its handlers, the theme, a refresh let run (ended), the
        // selection, the keychain held, the price card's chain, the token row's figures, the
        // address list's width and the pointer's place.
        function cleanup() {
            unwatchAll()
            BRThemeManager.current = startTheme
            fixture.allowRefresh(false)
            tryVerify(() => !view.walletVM.isRefreshing, 30000, "a refresh did not end")
            fixture.selectNone()
            fixture.releaseKeychain()
            chart.chain = 0
            for (const name of tokenRowFigures)
                tokenRow[name] = tokenRowStart[name]
            addresses.width = 600
            mouseMove(top, top.width - 10, 500) // below the price card: over nothing
        }

        // The characters of a counting figure that are on the move (rolling in or out).
        function rolling(figure) {
            const texts = (item, out) => {
                if (item.textFormat !== undefined)
                    out.push(item)
                for (let i = 0; i < item.children.length; ++i)
                    texts(item.children[i], out)
                return out
            }
            return texts(figure, []).filter(t => t.y !== 0 && t.opacity > 0).map(t => t.text).sort()
        }
        // The character cells of a counting figure.
        function cellsOf(figure) {
            const out = []
            const walk = item => {
                if (item.character !== undefined && item.moving !== undefined)
                    out.push(item)
                for (let i = 0; i < item.children.length; ++i)
                    walk(item.children[i])
            }
            walk(figure)
            return out
        }
        // Every roll of `figure`'s characters from now on, as it happens, however few frames a
        // busy machine draws: per cell, once it starts to move, the character it leaves and
        // the one that arrives, and each place and opacity the two take on the way.
        function recordRolls(figure) {
            const record = []
            for (const cell of cellsOf(figure)) {
                const [leaving, arriving] = [cell.children[0], cell.children[1]]
                const entry = {cell: cell, from: null, to: null, leaving: [], arriving: []}
                watch(cell.movingChanged, () => {
                    if (cell.moving && entry.from === null)
                        [entry.from, entry.to] = [leaving.text, cell.character]
                })
                const step = () => {
                    entry.leaving.push({y: leaving.y, opacity: leaving.opacity})
                    entry.arriving.push({y: arriving.y, opacity: arriving.opacity})
                }
                for (const changed of [leaving.yChanged, leaving.opacityChanged,
                                       arriving.yChanged, arriving.opacityChanged])
                    watch(changed, step)
                record.push(entry)
            }
            return record
        }
        function rollsIn(record) {
            return record.filter(entry => entry.from !== null)
        }
        // The character left went up and out, its successor rose from below into its place.
        function verifyRolledUp(entry) {
            const height = entry.cell.height
            const last = steps => steps[steps.length - 1]
            const told = entry.from + " to " + entry.to + ": "
            verify(entry.arriving.some(step => step.y > 0), told + "nothing rose from below")
            const below = entry.leaving.find(step => step.y > 0 || step.y < -height)
            verify(!below, told + "the old character went down to " + (below || {}).y)
            const above = entry.arriving.find(step => step.y < 0 || step.y > height)
            verify(!above, told + "the new one came from " + (above || {}).y)
            compare(last(entry.leaving), {y: -height, opacity: 0}, told + "the old one stayed")
            compare(last(entry.arriving), {y: 0, opacity: 1}, told + "the new one is not in place")
        }
        // The glows cast by `figure` within `area`, in drawing order: [opacity, radius, colour].
        function glowsOf(area, figure) {
            const found = []
            const walk = item => {
                if (item.glowOpacity !== undefined && item.source === figure)
                    found.push(item)
                for (let i = 0; i < item.children.length; ++i)
                    walk(item.children[i])
            }
            walk(area)
            return found
        }
        // The glows draw: the figure's surroundings change when they are hidden.
        function verifyGlowsDraw(area, glows) {
            for (const glow of glows)
                tryVerify(() => glow.ready, 5000)
            wait(50)
            const lit = grabImage(area)
            for (const glow of glows)
                glow.visible = false
            wait(50)
            const plain = grabImage(area)
            for (const glow of glows)
                glow.visible = true
            verify(!lit.equals(plain), "the glows draw nothing")
        }

        function test_1_emptyWallet() {
            compare(view.portfolio.totalText, "$0.00")
            compare(textOf(view, "portfolioTotal"), "$0.00")
            compare(textOf(view, "portfolioAssetCount"), "0")
            compare(rows().length, 0)
        }

        function test_2_groupsRowsAndTotals() {
            fixture.fill()
            wait(50)
            // Groups in chain order; accounts, then tokens.
            compare(rows().map(r => r.key), [
                "bitcoin", "btc-0",
                "ethereum", "eth-0", "eth-0/0x01", "eth-0/0x02", "eth-0/0x03", "eth-0/0x04",
                "arbitrum", "arb-0",
                "polygon", "poly-0",
                "solana", "sol-0", "sol-0/Mint1", "sol-0/Mint2", "sol-0/Mint3"])
            // 5 accounts + 4 EVM tokens + 3 Solana tokens.
            compare(textOf(view, "portfolioAssetCount"), "12")
            // 75 + 1004.501 + 500 + 0 + 206.17.
            compare(view.portfolio.totalText, "$1,785.67")
            compare(textOf(view, "portfolioTotal"), "$1,785.67")

            // Each chain at its own price: Arbitrum's ether at the ether price, not ARB's.
            compare(textOf(row("btc-0"), "assetRowBalance"), "0.00150000 BTC")
            compare(textOf(row("btc-0"), "assetRowFiat"), "$75.00")
            compare(textOf(row("eth-0"), "assetRowBalance"), "0.500000 ETH")
            compare(textOf(row("eth-0"), "assetRowFiat"), "$1,000.00")
            compare(textOf(row("arb-0"), "assetRowTicker"), "ETH")
            compare(textOf(row("arb-0"), "assetRowFiat"), "$500.00")
            compare(textOf(row("poly-0"), "assetRowTicker"), "POL")
            compare(textOf(row("poly-0"), "assetRowFiat"), "\u2014") // no polygon price
            compare(textOf(row("sol-0"), "assetRowBalance"), "2.0000 SOL")
            compare(textOf(row("sol-0"), "assetRowFiat"), "$200.00")
            // A chain header shows its total only when above 0.
            compare(textOf(row("ethereum"), "chainTotal"), "$1,004.50")
            compare(textOf(row("arbitrum"), "chainTotal"), "$500.00")
            compare(textOf(row("solana"), "chainTotal"), "$206.17")
            verify(!findAll(row("polygon"), "chainTotal", [])[0].visible)
            fixture.setPolygonPrice(0.5)
            wait(20)
            compare(textOf(row("poly-0"), "assetRowFiat"), "$5.00")
            compare(textOf(row("polygon"), "chainTotal"), "$5.00")
            compare(view.portfolio.totalText, "$1,790.67")

            // EVM tokens: dollars without a floor, no figure for a holding without a price.
            compare(textOf(row("eth-0/0x01"), "tokenRowAmount"), "2.5000 USDC")
            compare(textOf(row("eth-0/0x01"), "tokenRowValue"), "$2.50")
            compare(textOf(row("eth-0/0x02"), "tokenRowValue"), "\u2014")
            compare(textOf(row("eth-0/0x04"), "tokenRowAmount"), "0.001000 DUST")
            compare(textOf(row("eth-0/0x04"), "tokenRowValue"), "$0.00")
            // Solana tokens: "--" without a price and for a priced token worth nothing.
            compare(textOf(row("sol-0/Mint1"), "tokenRowAmount"), "12.3400 BONK")
            compare(textOf(row("sol-0/Mint1"), "tokenRowValue"), "--")
            compare(textOf(row("sol-0/Mint2"), "tokenRowValue"), "--")
            compare(textOf(row("sol-0/Mint3"), "tokenRowValue"), "$6.17")

            // Two groups stand 12 apart, a chain's header 8 below that; rows of a group 4.
            const list = findAll(view, "portfolioList", [])[0]
            const bottom = key => row(key).y + row(key).height
            const disc = key => findAll(row(key), "chainHeaderDisc", [])[0].mapToItem(list.contentItem, 0, 0).y
            compare(row("eth-0/0x01").y - bottom("eth-0"), 4)
            compare(disc("ethereum") - bottom("btc-0"), 20)
            compare(disc("solana") - bottom("poly-0"), 20)
        }

        // Every text the screen draws (a counting figure's characters one by one).
        function shownTexts() {
            const texts = (item, out) => {
                if (item.textFormat !== undefined && item.visible)
                    out.push(item.text)
                for (let i = 0; i < item.children.length; ++i)
                    texts(item.children[i], out)
                return out
            }
            rows()
            return texts(view, [])
        }

        // Before any server answered, no balance and no total reads as a zero; a known zero
        // and an unpriced balance do, but a total that values nothing held does not while a
        // balance is missing.
        function test_2a_unansweredBalancesAreUnknownNotZero() {
            fixture.fillUnanswered()
            wait(50)
            const total = findAll(view, "portfolioTotal", [])[0]
            const note = findAll(view, "portfolioTotalNote", [])[0]
            compare(total.text, "\u2014")
            tryCompare(total, "shownText", "\u2014")
            verify(note.visible)
            compare(note.text, "Some balances are still loading.")
            for (const key of ["btc-0", "eth-0", "arb-0", "poly-0", "sol-0"]) {
                compare(textOf(row(key), "assetRowBalance"), "\u2014", key)
                compare(textOf(row(key), "assetRowFiat"), "\u2014", key)
            }
            for (const zero of ["$0.00", "0.00000000 BTC", "0.000000 ETH", "0.000000 POL",
                                "0.0000 SOL"])
                verify(!shownTexts().includes(zero), zero)

            // Bitcoin's server answers zero, Polygon's (unpriced) too, Solana's fails.
            fixture.endBalanceLoad(0, false)
            fixture.endBalanceLoad(3, false)
            fixture.endBalanceLoad(4, true)
            wait(20)
            compare(textOf(row("btc-0"), "assetRowBalance"), "0.00000000 BTC")
            compare(textOf(row("btc-0"), "assetRowFiat"), "$0.00")
            compare(textOf(row("poly-0"), "assetRowBalance"), "0.000000 POL")
            compare(textOf(row("poly-0"), "assetRowFiat"), "$0.00")
            compare(textOf(row("sol-0"), "assetRowBalance"), "\u2014")
            compare(textOf(row("eth-0"), "assetRowFiat"), "\u2014")
            compare(total.text, "\u2014")
            compare(note.text, "Some balances could not be loaded.")
            for (const chain of [1, 2, 4])
                fixture.endBalanceLoad(chain, false)
            wait(20)
            verify(!note.visible)
            compare(total.text, "$0.00") // every balance known, and zero
        }

        // A balance whose price is not known has no dollar figure, nor has a total that can
        // value nothing else; the total says that a price is missing, loading or not loaded.
        function test_2c_aBalanceWithoutAPriceHasNoFigure() {
            fixture.holdBitcoinOnly(100000)
            wait(20)
            const total = findAll(view, "portfolioTotal", [])[0]
            const note = findAll(view, "portfolioTotalNote", [])[0]
            compare(textOf(row("btc-0"), "assetRowBalance"), "0.00100000 BTC")
            compare(textOf(row("btc-0"), "assetRowFiat"), "\u2014")
            compare(total.text, "\u2014")
            tryCompare(total, "shownText", "\u2014")
            verify(note.visible)
            compare(note.text, "Some prices are still loading.")
            verify(!shownTexts().includes("$0.00"))
            fixture.failPrices()
            wait(20)
            compare(note.text, "Some prices could not be loaded.")
            compare(textOf(row("btc-0"), "assetRowFiat"), "\u2014")
            compare(total.text, "\u2014")
            // Its price arrives: valued, counted, nothing left out.
            fixture.setBtcPrice(50000)
            wait(20)
            compare(textOf(row("btc-0"), "assetRowFiat"), "$50.00")
            compare(total.text, "$50.00")
            verify(!note.visible)
        }

        // The total and every row's name, amount and value reach a screen reader, each as
        // the text shown.
        function test_2b_totalAndRowsAreRead() {
            fixture.fill()
            const figure = findAll(view, "portfolioTotal", [])[0]
            compare(fixture.unexposedTexts(view), [])
            const total = fixture.accessibility(figure)
            compare([total.name, total.role, total.showing], ["$1,785.67", 0x29, true])
            for (const [key, name] of [["btc-0", "assetRowBalance"], ["btc-0", "assetRowFiat"],
                                       ["eth-0/0x01", "tokenRowName"],
                                       ["eth-0/0x01", "tokenRowAmount"],
                                       ["eth-0/0x01", "tokenRowValue"]]) {
                const told = fixture.accessibility(findAll(row(key), name, [])[0])
                compare([told.name, told.role, told.showing],
                        [textOf(row(key), name), 0x29, true], key + " " + name)
            }
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
            const total = findAll(view, "portfolioTotal", [])[0]
            // Past the count-up of the figure that fill() set (shownText may hold it already).
            tryVerify(() => total.settled && total.shownText === "$1,785.67")
            const record = recordRolls(total)
            verify(fixture.setEthBalance("1.5"))
            // The total counts up to its new figure: the changed digit rolls in over the old
            // one, which rolls out, at once; then the figure stands whole.
            compare(total.text, "$3,785.67")
            compare(total.shownText, "$1,785.67")
            verify(!total.settled)
            compare(rollsIn(record).map(entry => [entry.from, entry.to]), [["1", "3"]])
            // The same delegates: nothing was rebuilt; the changed row shows the new balance.
            verify(row("btc-0") === btc)
            verify(row("eth-0") === eth)
            verify(row("eth-0/0x01") === token)
            compare(textOf(eth, "assetRowBalance"), "1.500000 ETH")
            compare(textOf(eth, "assetRowFiat"), "$3,000.00")
            compare(textOf(row("ethereum"), "chainTotal"), "$3,004.50")
            compare(view.portfolio.totalText, "$3,785.67")
            tryCompare(total, "shownText", "$3,785.67", 10000)
            compare(rolling(total), [])
            verify(total.settled)
            compare(rollsIn(record).length, 1)
            verifyRolledUp(rollsIn(record)[0])
            // A figure that changes and changes back stands whole again only once its
            // characters have come to rest.
            verify(fixture.setEthBalance("0.5"))
            verify(fixture.setEthBalance("1.5"))
            compare(total.text, "$3,785.67")
            compare(total.shownText, "$3,785.67")
            verify(!total.settled)
            tryVerify(() => total.settled, 10000)
            compare(rolling(total), [])
        }

        // The total glows in three accent layers, none offset: 0.025 at 20, 0.05 at 8 and
        // 0.1 at 4; the price casts one faint accent shadow, 0.05 at 8.
        function test_4d_theTotalGlowsAndThePriceHasItsShadow() {
            fixture.fill()
            fixture.setPrice(0, 97123.45, 1.25)
            chart.chain = 0
            const total = findAll(view, "portfolioTotal", [])[0]
            const price = findAll(chart, "chartPrice", [])[0]
            const describe = glows => glows.map(g => [g.glowOpacity, g.radius, g.glowColor.toString(),
                                                     g.horizontalOffset, g.verticalOffset])
            const totalGlows = glowsOf(view, total)
            compare(describe(totalGlows), [[0.025, 20, "#0a84ff", 0, 0], [0.05, 8, "#0a84ff", 0, 0],
                                           [0.1, 4, "#0a84ff", 0, 0]])
            verifyGlowsDraw(view, totalGlows)
            const priceGlows = glowsOf(chart, price)
            compare(describe(priceGlows), [[0.05, 8, "#0a84ff", 0, 0]])
            verifyGlowsDraw(chart, priceGlows)
        }

        function test_4a_refreshAndF5RefreshTheState() {
            fixture.allowRefresh(true)
            fixture.forgetRefresh()
            mouseClick(findAll(view, "portfolioRefresh", [])[0])
            tryVerify(() => fixture.refreshed(), 10000, "Refresh ran no refresh")
            tryVerify(() => !view.walletVM.isRefreshing)
            fixture.forgetRefresh()
            keyClick(Qt.Key_F5)
            tryVerify(() => fixture.refreshed(), 10000, "F5 ran no refresh")
            tryVerify(() => !view.walletVM.isRefreshing)
        }

        function test_4b_sendAndReceiveOpenTheFirstAccount() {
            fixture.fill()
            wait(20)
            for (const name of ["portfolioSend", "portfolioReceive"]) {
                fixture.selectNone()
                compare(fixture.selectedAccountID(), "")
                mouseClick(findAll(view, name, [])[0])
                compare(fixture.selectedAccountID(), "btc-0", name)
            }
        }

        // The account screen's token row formats its own numbers: the amount from the exact
        // base units (a half rounds up), dollars with the floor for tiny holdings, no figure
        // for a balance held without a price, and $0.00 for none held.
        function test_4c_tokenRowFormatsItsValue() {
            tokenRow.decimals = 6
            const cases = [["2500000", 1, "2.5000 USDC", "$2.50"],
                           ["2500000", null, "2.5000 USDC", "\u2014"], ["0", null, "0 USDC", "$0.00"],
                           ["4000", 1, "0.004000 USDC", "< $0.01"], ["0", 1, "0 USDC", "$0.00"],
                           ["1234500000", 2, "1234.50 USDC", "$2,469.00"],
                           ["1000005000", null, "1000.01 USDC", "\u2014"],
                           ["999999950", null, "1000.00 USDC", "\u2014"]]
            for (const [units, price, amount, value] of cases) {
                tokenRow.baseUnits = units
                tokenRow.balanceFormatted = Number(units) / 1e6
                tokenRow.priceUSD = price
                compare(textOf(tokenRow, "tokenRowAmount"), amount)
                compare(textOf(tokenRow, "tokenRowValue"), value)
            }
        }

        function test_5_priceCard() {
            // No price, no points: the dash and the placeholder.
            compare(textOf(chart, "chartPairLabel"), "BTC / USD")
            verify(findAll(chart, "chartNoPrice", [])[0].visible)
            verify(!findAll(chart, "chartPrice", [])[0].visible)
            verify(!findAll(chart, "chartChange", [])[0].visible)
            verify(findAll(chart, "chartPlaceholder", [])[0].visible)
            verify(!findAll(chart, "chartPlotArea", [])[0].visible)
            const placeholder = findAll(chart, "chartPlaceholder", [])[0]
            verify(placeholder.height >= 200 && placeholder.height <= 240)

            // The badge: the sign in the arrow and the colour only.
            const arrow = findAll(chart, "chartChangeArrow", [])[0]
            const percent = findAll(chart, "chartChangeText", [])[0]
            const day = findAll(chart, "chartChange24h", [])[0]
            fixture.setPrice(0, 1234.567, -2.5)
            const price = findAll(chart, "chartPrice", [])[0]
            tryCompare(price, "text", "$1,234.57")
            // The price counts up: the changed digit rolls in over the old one, which rolls
            // out; then the figure stands whole.
            tryVerify(() => price.settled && price.shownText === "$1,234.57")
            const record = recordRolls(price)
            fixture.setPrice(0, 1334.567, -2.5)
            compare(price.text, "$1,334.57")
            compare(price.shownText, "$1,234.57")
            compare(rollsIn(record).map(entry => [entry.from, entry.to]), [["2", "3"]])
            tryCompare(price, "shownText", "$1,334.57", 10000)
            verify(price.settled)
            compare(rolling(price), [])
            compare(rollsIn(record).length, 1)
            verifyRolledUp(rollsIn(record)[0])
            compare(percent.text, "2.50%")
            compare(arrow.name, "arrow.down.right")
            verify(Qt.colorEqual(arrow.color, "#f04848"))
            verify(Qt.colorEqual(percent.color, "#f04848"))
            verify(Qt.colorEqual(day.color, "#4a6480"))
            fixture.setPrice(0, 999.999, 0)
            compare(findAll(chart, "chartPrice", [])[0].text, "$1000.00")
            compare(percent.text, "0.00%")
            compare(arrow.name, "arrow.up.right")
            verify(Qt.colorEqual(arrow.color, "#22d966"))
            verify(Qt.colorEqual(percent.color, "#22d966"))
            verify(Qt.colorEqual(day.color, "#4a6480"))

            // With points, the curve: line and area on the same path, labels on the axes.
            fixture.setPoints(0, 42, false)
            wait(20)
            verify(!findAll(chart, "chartPlaceholder", [])[0].visible)
            verify(findAll(chart, "chartPlotArea", [])[0].visible)
            verify(chart.model.linePath.startsWith("M 0.00 "))
            verify(chart.model.areaPath.startsWith(chart.model.linePath))
            // Seven days from midnight: a date for every midnight after the first, evenly
            // spaced, none cut at an edge; no y label cut by the card either.
            const xTicks = chart.model.xTicks
            compare(xTicks.map(t => t.label), ["Jan 2", "Jan 3", "Jan 4", "Jan 5", "Jan 6", "Jan 7"])
            for (let i = 2; i < xTicks.length; ++i)
                verify(Math.abs((xTicks[i].x - xTicks[i - 1].x) - (xTicks[1].x - xTicks[0].x)) < 0.01)
            const area = findAll(chart, "chartPlotArea", [])[0]
            const inside = (label) => {
                const at = label.mapToItem(area, 0, 0)
                return at.x >= 0 && at.y >= 0 && at.x + label.width <= area.width
                       && at.y + label.height <= area.height
            }
            const xLabels = findAll(chart, "chartXLabel", [])
            compare(xLabels.filter(l => l.visible).length, 6)
            for (const label of xLabels)
                verify(inside(label), label.text)
            const yLabels = findAll(chart, "chartYLabel", [])
            verify(yLabels.length >= 2)
            for (const label of yLabels)
                verify(inside(label), label.text)
            // Under two days: times of the day, never the same label twice.
            fixture.setPoints(0, 8, false)
            compare(chart.model.xTicks.map(t => t.label), ["06:00", "12:00", "18:00", "Jan 2"])
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
            const total = findAll(view, "portfolioTotal", [])[0]
            const price = findAll(chart, "chartPrice", [])[0]
            const shots = []
            for (const theme of BRThemeManager.themes.slice(0, 2)) {
                BRThemeManager.current = theme
                // Once the figures' count-up has ended.
                tryVerify(() => total.settled && price.settled, 10000)
                const image = grabImage(top)
                image.save(fixture.screenshotPath("portfolio-" + theme.replace(/ /g, "-") + ".png"))
                shots.push(image)
            }
            verify(!shots[0].equals(shots[1]), "the two themes look the same")
        }

        function test_7_addressTrashFollowsTheStateRule() {
            fixture.createWallet()
            const derived = addresses.model.rowCount()
            compare(derived, 5)
            // Each address is read, and each copy button says which address it copies.
            const rows = findAll(addresses, "addressRows", [])[0]
            rows.forceLayout()
            compare(fixture.unexposedTexts(addresses), [])
            const copies = new Set()
            for (let i = 0; i < derived; ++i) {
                const row = rows.itemAtIndex(i)
                const address = row.address
                compare(fixture.accessibility(findAll(row, "selectableValueText", [])[0]).name,
                        address)
                const copy = fixture.accessibility(findAll(row, "addressCopy", [])[0])
                compare(copy.name, "Copy address " + address)
                copies.add(copy.name)
            }
            compare(copies.size, derived)
            addresses.model.generate()
            addresses.model.generate()
            // The signer derives and stores them one after the other.
            tryCompare(addresses.model, "countText", (derived + 2) + " indirizzi", 10000)
            compare(textOf(addresses, "addressCount"), (derived + 2) + " indirizzi")
            // Rows read through the view, laid out now: a deleted row's delegate lingers until
            // a later turn and a new row's delegate waits for the next frame, so a scan of
            // the view's children depends on how busy the machine is.
            const list = findAll(addresses, "addressRows", [])[0]
            const rowAt = position => {
                list.forceLayout()
                return list.itemAtIndex(position)
            }
            const indices = () => {
                list.forceLayout()
                const shown = []
                for (let i = 0; i < list.count; ++i)
                    shown.push(list.itemAtIndex(i).derivationIndex)
                return shown
            }
            const trashShown = position => {
                mouseMove(rowAt(position), 20, 10) // hover is delivered with the move
                return findAll(rowAt(position), "addressTrash", [])[0].visible
            }
            // Before a server has answered, zero means unknown: no trash anywhere.
            verify(!trashShown(1))
            verify(!trashShown(2))
            fixture.markAddressesFetched(2)
            verify(!trashShown(0))  // the first address
            verify(trashShown(1))   // fetched, empty, unused
            verify(!trashShown(2))  // funded
            mouseMove(addresses, 5, 5)
            verify(!findAll(rowAt(1), "addressTrash", [])[0].visible) // only while hovered
            compare(textOf(rowAt(2), "addressBalance"), "1500 sat")

            mouseMove(rowAt(1), 20, 10)
            mouseClick(findAll(rowAt(1), "addressTrash", [])[0])
            tryCompare(addresses.model, "countText", (derived + 1) + " indirizzi", 10000)
            compare(textOf(addresses, "addressCount"), (derived + 1) + " indirizzi")

            // Two quick deletes while the first still waits for its write remove the two
            // addresses clicked, not what sits at their positions once the first is gone.
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

            // Each heading stands over its column: the kind's left edge, the balance's and
            // the count's right edges, in a wide and in the narrowest detail column.
            const edges = (item) => {
                const at = item.mapToItem(addresses, 0, 0)
                return { left: at.x, right: at.x + item.width }
            }
            for (const width of [600, 480]) {
                addresses.width = width
                list.forceLayout()
                const first = rowAt(0)
                const header = name => edges(findAll(addresses, name, [])[0])
                const cell = name => edges(findAll(first, name, [])[0])
                fuzzyCompare(cell("addressKind").left, header("headerKind").left, 1)
                fuzzyCompare(cell("addressBalance").right, header("headerBalance").right, 1)
                fuzzyCompare(cell("addressTxCount").right, header("headerTxCount").right, 1)
                grabImage(addresses).save(fixture.screenshotPath("btc-addresses-" + width + ".png"))
            }

            // In the narrowest detail column the balance and the count keep their columns
            // whole, inside the list, clear of the address.
            addresses.width = 480
            const inside = (item, name) => {
                const at = item.mapToItem(addresses, 0, 0)
                verify(at.x >= 0 && at.x + item.width <= addresses.width, name + " at " + at.x)
                verify(item.width >= item.implicitWidth, name + " is cut")
                return at.x
            }
            inside(findAll(addresses, "headerBalance", [])[0], "the balance's header")
            inside(findAll(addresses, "headerTxCount", [])[0], "the count's header")
            for (let position = 0; position < list.count; ++position) {
                const shown = rowAt(position)
                const balanceAt = inside(findAll(shown, "addressBalance", [])[0], "a balance")
                inside(findAll(shown, "addressTxCount", [])[0], "a count")
                const address = findAll(shown, "addressText", [])[0]
                verify(address.mapToItem(addresses, 0, 0).x + address.width <= balanceAt,
                       "the address runs into the balance")
            }
        }
    }
}
