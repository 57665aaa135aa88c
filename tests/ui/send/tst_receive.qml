import QtQuick
import QtQuick.Controls
import QtTest
import Quillmark.Ui
import "../shared/Popups.js" as Popups

Item {
    id: top
    width: 640
    height: 620

    ReceiveSheetHost { id: sheet }

    TestCase {
        id: testCase
        name: "Receive"
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
        function find(name) {
            return findAll(sheet, name, [], new Set())[0] || null
        }
        function openOn(chain, address) {
            sheet.chain = chain
            sheet.address = address
            sheet.open()
            tryVerify(() => sheet.opened)
            tryVerify(() => find("receiveQRCode") && find("receiveQRCode").hasCode)
        }
        function closeSheet() {
            sheet.close()
            tryVerify(() => !sheet.visible)
        }

        // The theme the tests start in.
        property string startTheme: ""

        function initTestCase() {
            startTheme = BRThemeManager.current
        }

        // What a test changes for a while goes back after it, even when it failed halfway, so
        // that one failure stays one: the theme, the pointer's place (off the copy button) and
        // the sheet and tool tips left open.
        function cleanup() {
            BRThemeManager.current = startTheme
            mouseMove(top, 1, 1)
            Popups.closeAll(testCase, top.parent)
        }

        readonly property var cases: [
            [0, "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu", "Receive BTC", "Your Bitcoin Address",
             "bitcoin:bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu"],
            [1, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94", "Receive ETH", "Your Ethereum Address",
             "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"],
            [2, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94", "Receive ETH", "Your Arbitrum Address",
             "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"],
            [3, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94", "Receive POL", "Your Polygon Address",
             "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"],
            [4, "HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk", "Receive SOL", "Your Solana Address",
             "HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk"],
        ]

        function test_1_eachChainShowsItsAddressAndCode() {
            if (!fixture.canDecodeQR())
                skip("zbarimg (zbar-tools) is not installed")
            const requests = fixture.networkRequests()
            for (const [chain, address, title, caption, payload] of cases) {
                openOn(chain, address)
                compare(find("receiveHeader").title, title)
                compare(find("receiveCaption").text, caption)
                compare(find("receiveAddress").text, address)
                // The code as the window draws it, read back by zbarimg.
                compare(fixture.decodeQRIn(find("receiveQRCode")), payload)
                // The white card leaves the code a margin on every side.
                const card = find("qrCard")
                const code = find("receiveQRCode")
                compare(card.width, 212)
                compare(code.mapToItem(card, 0, 0).x, 6)
                // Copy carries the bare address, never the URI.
                mouseClick(find("receiveCopy"))
                compare(Clipboard.text(), address)
                closeSheet()
            }
            compare(fixture.networkRequests(), requests)
        }

        function test_1a_longAddressesWrapEvenly() {
            for (const [chain, address, title] of cases) {
                openOn(chain, address)
                // Read whole, the sheet named by its title.
                compare(fixture.unexposedTexts(sheet.contentItem), [], title)
                const told = fixture.accessibility(sheet)
                compare([told.name, told.role], [title, 0x12]) // a dialog
                const text = find("receiveAddress")
                const lengths = new Map()
                for (let i = 0; i < address.length; ++i) {
                    const y = Math.round(text.positionToRectangle(i).y)
                    lengths.set(y, (lengths.get(y) || 0) + 1)
                }
                const counts = Array.from(lengths.values())
                verify(Math.min(...counts) >= Math.max(...counts) - 1,
                       address + " in lines of " + counts.join(", "))
                // Inside its card, with its margin.
                const card = text.parent
                const right = text.mapToItem(card, text.contentWidth, 0).x
                verify(text.x >= 12 && right <= card.width - 12 + 1, address)
                closeSheet()
            }
        }

        // The copy button is named by the address it copies, and once it has copied, by what it
        // and its tool tip then show; the code is named by the address it holds.
        function test_1b_copyButtonAndCodeAreNamedByTheAddress() {
            for (const [chain, address, title] of cases) {
                openOn(chain, address)
                const code = fixture.accessibility(find("receiveQRCode"))
                compare([code.name, code.role, code.showing],
                        ["QR code of the address " + address, 0x28, true], title) // a graphic
                const copy = find("receiveCopy")
                const tip = findAll(copy, "copyToolTip", [], new Set())[0]
                compare(fixture.accessibility(copy).name, "Copy address " + address, title)
                mouseMove(copy)
                tryVerify(() => tip.opened, 5000, title)
                compare(fixture.accessibility(tip).name, "Copy to clipboard", title)
                mouseClick(copy)
                compare(tip.contentItem.text, "Copied!", title)
                compare(fixture.accessibility(tip).name, "Copied!", title)
                compare(fixture.accessibility(copy).name, "Copied!", title)
                compare(fixture.unexposedTexts(sheet.contentItem), [], title)
                mouseMove(top, 1, 1)
                closeSheet()
            }
        }

        function test_2_closeButtonAndScreenshotsInBothThemes() {
            openOn(0, "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu")
            const shots = []
            for (const theme of BRThemeManager.themes.slice(0, 2)) {
                BRThemeManager.current = theme
                wait(50)
                const image = grabImage(top)
                image.save(fixture.screenshotPath("receive-" + theme.replace(/ /g, "-") + ".png"))
                shots.push(image)
            }
            verify(!shots[0].equals(shots[1]), "the two themes look the same")
            mouseClick(find("closeSheetButton"))
            tryVerify(() => !sheet.visible)
        }
    }
}
