// The window's texts that live in C++: address forms, the refresh tooltip, balance texts, icons.

#include "state/EVMAccountState.h"
#include "ui/shell/RefreshHelpText.h"
#include "ui/shell/SidebarItems.h"
#include "ui/theme/AddressText.h"
#include "ui/theme/BRIcon.h"

#include <QLocale>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <string_view>

namespace qm {
namespace {

TEST(ShellTexts, AddressesRefreshTooltipAndBalances) {
    EXPECT_EQ(addressLabelText("0123456789abcdefg", true), "01234567...bcdefg");
    EXPECT_EQ(addressLabelText("0123456789abcdefg", false), "0123456789abcdefg");
    // Characters, not code points: accented letters made of two each.
    const QString e = QStringLiteral("e\u0301");
    EXPECT_EQ(addressLabelText(e.repeated(17), true), e.repeated(8) + "..." + e.repeated(6));
    EXPECT_EQ(sidebarAddressText("0123456789abc"), "012345...9abc");

    const Date last{1000};
    EXPECT_EQ(refreshHelpText(true, std::nullopt, Date{0}), "Refreshing...");
    EXPECT_EQ(refreshHelpText(false, last, Date{1059.99}), "Last refresh: 59s ago");
    EXPECT_EQ(refreshHelpText(false, last, Date{990}), "Last refresh: 0s ago"); // clock set back

    // The user's locale never changes the decimal point.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(bitcoinBalanceText(150'000), "0.00150000 BTC");
    EXPECT_EQ(solanaBalanceText(1'250'000'000, 1), "1.2500 SOL +1 tokens");
    EVMAccountState polygon;
    polygon.account.chain = Chain::polygon;
    polygon.balanceWei = UInt256(0, 0, 0, 500'000'000'000'000'000);
    polygon.tokens.resize(2);
    EXPECT_EQ(evmBalanceText(polygon), QStringLiteral("\u2014 +2 tokens")); // not answered for
    polygon.balanceLoad.end(false);
    EXPECT_EQ(evmBalanceText(polygon), "0.500000 POL +2 tokens");
    QLocale::setDefault(previous);
}

// A symbol named in any view but missing from the table would show the fallback glyph.
TEST(BRIcon, EverySymbolNamedInTheViewsHasAGlyph) {
    const std::regex symbol(
        R"re(\b(name|symbol|icon|systemImage|symbolName)\s*:\s*"([a-z0-9.]+)")re");
    int found = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             std::filesystem::path(QM_SOURCE_DIR) / "src")) {
        if (entry.path().extension() != ".qml") {
            continue;
        }
        std::ifstream file(entry.path());
        const std::string text((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        for (std::sregex_iterator it(text.begin(), text.end(), symbol), end; it != end; ++it) {
            ++found;
            EXPECT_TRUE(iconGlyph((*it)[2].str()).has_value())
                << (*it)[2].str() << " in " << entry.path().filename().string();
        }
    }
    EXPECT_GT(found, 20);
}

// The offset of the brace that closes the block opening at `open`, skipping strings and
// line comments; the text's size when it is never closed.
std::size_t blockEnd(std::string_view text, std::size_t open) {
    int depth = 0;
    char quote = 0;
    for (std::size_t i = open; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == '\\') {
                ++i;
            } else if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (text.substr(i, 2) == "//") {
            i = std::min(text.find('\n', i), text.size());
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return i;
        }
    }
    return text.size();
}

// The block's own lines: what nested blocks hold is left out.
std::string ownLevel(std::string_view body) {
    std::string out;
    int depth = 0;
    for (char c : body) {
        depth += c == '{' ? 1 : c == '}' ? -1 : 0;
        if (depth == 0 && c != '}') {
            out += c;
        }
    }
    return out;
}

// Text defaults to rich text, which renders markup from outside and fetches its images: every
// Text and Label of the views says plain text, and no view uses the style's attached tool
// tip (its text is rich) instead of BRToolTip, nor the style's busy indicator.
TEST(QmlTexts, EveryTextIsPlain) {
    const std::regex element(R"((^|[^\w.])(Text|Label)\s*\{)");
    const std::regex format(R"(\btextFormat\s*:\s*Text\.PlainText\b)");
    int found = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             std::filesystem::path(QM_SOURCE_DIR) / "src")) {
        if (entry.path().extension() != ".qml") {
            continue;
        }
        std::ifstream file(entry.path());
        const std::string text((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(text.find("ToolTip.text"), std::string::npos) << name;
        // The style's busy indicator draws in a colour our backgrounds hide, at the display's
        // rate: BRBusyIndicator instead.
        EXPECT_FALSE(std::regex_search(text, std::regex(R"((^|[^\w.])BusyIndicator\s*\{)")))
            << name;
        for (std::sregex_iterator it(text.begin(), text.end(), element), end; it != end; ++it) {
            ++found;
            const std::size_t open = static_cast<std::size_t>(it->position() + it->length() - 1);
            const std::size_t close = blockEnd(text, open);
            const std::string own = ownLevel(std::string_view(text).substr(open + 1, close - open));
            const auto line = std::count(text.begin(), text.begin() + it->position(), '\n') + 1;
            EXPECT_TRUE(std::regex_search(own, format)) << name << ":" << line;
        }
    }
    EXPECT_GT(found, 50);
}

} // namespace
} // namespace qm
