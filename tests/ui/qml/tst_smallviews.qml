import QtQuick
import QtTest
import Quillmark.Ui

Item {
    id: top
    width: 600
    height: 400

    Column {
        AddressLabel { id: shortLabel; address: "0123456789abcdefg"; truncate: true }
        CopyButton { id: copyButton; copyText: "bc1qfulladdress" }
        BRPrimaryButton { id: primary; text: "Continue" }
        BRSecondaryButton { id: secondary; text: "Close" }
    }

    TestCase {
        name: "SmallViews"
        when: windowShown

        function sameColor(a, b) {
            return Math.abs(a.r - b.r) < 0.01 && Math.abs(a.g - b.g) < 0.01
                && Math.abs(a.b - b.b) < 0.01 && Math.abs(a.a - b.a) < 0.01
        }

        // The shortening itself is checked in ShellTexts_tests.
        function test_addressLabelShortensAndCopiesWhole() {
            compare(shortLabel.children[0].text, "01234567...bcdefg")
            compare(shortLabel.children[1].copyText, "0123456789abcdefg")
        }

        function test_copyButtonReplacesTheClipboardAndConfirms() {
            Clipboard.setText("something else")
            compare(copyButton.copied, false)
            mouseClick(copyButton)
            compare(Clipboard.text(), "bc1qfulladdress")
            compare(copyButton.copied, true)
            compare(copyButton.tooltipText, "Copied!")
            tryCompare(copyButton, "copied", false, 5000)
            compare(copyButton.tooltipText, "Copy to clipboard")
        }

        function test_buttonsUseTheThemeAndDimWhilePressed() {
            verify(sameColor(primary.contentItem.color, BRPalette.accent))
            verify(sameColor(secondary.contentItem.color, BRPalette.textPrimary))
            mousePress(primary)
            verify(primary.down)
            tryCompare(primary, "scale", 0.98)
            tryCompare(primary, "opacity", 0.85)
            mouseRelease(primary)
            tryCompare(primary, "scale", 1)
        }
    }
}
