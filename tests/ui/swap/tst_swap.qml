import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui

Item {
    id: top
    width: 700
    height: 640

    SwapTokenPicker {
        id: picker
        property var choices: []
        onPicked: token => choices.push(token)
    }

    TestCase {
        name: "Swap"
        when: windowShown

        // The theme the tests start in.
        property string startTheme: ""
        function initTestCase() {
            startTheme = BRThemeManager.current
        }
        // The theme goes back and the picker closes after each test, failed or not.
        function cleanup() {
            BRThemeManager.current = startTheme
            if (picker.visible) {
                picker.close()
                tryVerify(() => !picker.visible)
            }
        }

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
        // The picker's rows in list order, as their symbols.
        function pickerRows() {
            const list = find("tokenList", picker)
            list.forceLayout()
            const out = []
            for (let i = 0; i < list.count; ++i)
                out.push(list.itemAtIndex(i))
            return out
        }
        function typeText(text) {
            for (const c of text)
                keyClick(c)
        }

        function test_1_pickerSearchesMarksAndChooses() {
            picker.chain = 2
            const tokens = fixture.tokens(2) // Arbitrum: the coin, then the table
            picker.tokens = tokens
            picker.selectedToken = tokens[1]
            picker.choices = []
            picker.open()
            tryVerify(() => picker.opened)
            compare(pickerRows().map(r => r.symbol),
                    ["ETH", "USDC", "USDC.e", "USDT", "DAI", "WBTC", "WETH", "ARB"])
            const eth = pickerRows()[0]
            compare(find("tokenDetail", eth).text, "Native")
            compare(find("tokenDetail", pickerRows()[1]).text, "0xaf88...5831")
            verify(find("tokenSelectedMark", pickerRows()[1]).visible)
            verify(!find("tokenSelectedMark", eth).visible)
            // The search field has the focus: typing filters at once.
            tryVerify(() => find("tokenSearch", picker).activeFocus)
            typeText("usd")
            tryCompare(find("tokenList", picker), "count", 3)
            compare(pickerRows().map(r => r.symbol), ["USDC", "USDC.e", "USDT"])
            grabImage(top).save(fixture.screenshotPath("swap-picker-search.png"))
            typeText("zz")
            tryCompare(find("tokenList", picker), "count", 0)
            for (let i = 0; i < 5; ++i)
                keyClick(Qt.Key_Backspace)
            typeText("0XAF88")
            tryCompare(find("tokenList", picker), "count", 1)
            // Choosing reports the token once and closes the sheet.
            mouseClick(find("tokenRowButton", pickerRows()[0]))
            tryVerify(() => !picker.visible)
            compare(picker.choices.length, 1)
            compare(picker.choices[0].symbol, "USDC")
            compare(picker.choices[0].address, tokens[1].address)
            compare(picker.choices[0].decimals, 6)
            compare(picker.choices[0].isNative, false)
            // A new opening starts with an empty search; the close button only closes.
            picker.open()
            tryVerify(() => picker.opened)
            compare(find("tokenSearch", picker).text, "")
            compare(find("tokenList", picker).count, 8)
            mouseClick(find("closeSheetButton", picker))
            tryVerify(() => !picker.visible)
            compare(picker.choices.length, 1)
        }

        function test_2_pickerScreenshots() {
            const previous = BRThemeManager.current
            const shots = []
            picker.chain = 4
            picker.tokens = fixture.tokens(4) // Solana: the coin and the known mints
            picker.selectedToken = picker.tokens[0]
            for (const theme of BRThemeManager.themes.slice(0, 2)) {
                BRThemeManager.current = theme
                picker.open()
                tryVerify(() => picker.opened)
                wait(300) // the discs draw into layers of their own
                const shot = grabImage(top)
                shot.save(fixture.screenshotPath("swap-picker-" + theme.replace(/ /g, "-") + ".png"))
                shots.push(shot)
                picker.close()
                tryVerify(() => !picker.visible)
            }
            BRThemeManager.current = previous
            verify(!shots[0].equals(shots[1]), "the two themes look the same")
        }
    }
}
