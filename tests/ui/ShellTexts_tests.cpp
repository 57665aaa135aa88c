// The window's texts and colours that live in C++: address forms, the refresh tooltip, the
// connection indicators, the sidebar's balance texts, the palette and the icon table.

#include "state/EVMAccountState.h"
#include "ui/shell/ConnectionStatus.h"
#include "ui/shell/RefreshHelpText.h"
#include "ui/shell/SidebarItems.h"
#include "ui/theme/AddressText.h"
#include "ui/theme/BRIcon.h"
#include "ui/theme/BRPalette.h"
#include "ui/theme/BRTheme.h"

#include <QLocale>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>

namespace qm {
namespace {

TEST(AddressText, LabelAndSidebarForms) {
    struct Case {
        QString address;
        bool truncate;
        QString label;
    };
    const QString bech32 =
        QStringLiteral("bc1q") + QString(38, QLatin1Char('a')).replace(37, 1, "z");
    const Case labelCases[] = {
        {"0123456789abcdef", true, "0123456789abcdef"},    // 16: whole
        {"0123456789abcdefg", true, "01234567...bcdefg"},  // 17: 8 + ... + 6
        {"0123456789abcdefg", false, "0123456789abcdefg"}, // not truncated
        {bech32, true, "bc1qaaaa...aaaaaz"},
        {"", true, ""},
        // Characters, not bytes: 17 accented letters made of two code points each.
        {QString("e\u0301").repeated(17), true,
         QString("e\u0301").repeated(8) + "..." + QString("e\u0301").repeated(6)},
    };
    for (const Case& c : labelCases) {
        EXPECT_EQ(addressLabelText(c.address, c.truncate), c.label) << c.address.toStdString();
    }
    EXPECT_EQ(bech32.size(), 42);

    const std::pair<QString, QString> sidebarCases[] = {
        {"0123456789ab", "0123456789ab"},   // 12: whole
        {"0123456789abc", "012345...9abc"}, // 13: 6 + ... + 4
        {"0x52908400098527886E0F7030069857D2E4169EE7", "0x5290...9EE7"},
        {"", ""},
    };
    for (const auto& [address, shown] : sidebarCases) {
        EXPECT_EQ(sidebarAddressText(address), shown) << address.toStdString();
    }
    EXPECT_EQ(sidebarAddressText("0x52908400098527886E0F7030069857D2E4169EE7").size(), 13);
    // Three full stops, never the ellipsis sign.
    EXPECT_FALSE(addressLabelText(bech32, true).contains(QChar(0x2026)));
}

TEST(RefreshHelpText, FromStateAndClock) {
    const Date last{1000};
    struct Case {
        bool refreshing;
        std::optional<Date> lastRefresh;
        double now;
        const char* text;
    };
    const Case cases[] = {
        {true, std::nullopt, 0, "Refreshing..."},
        {true, last, 1042, "Refreshing..."},
        {false, std::nullopt, 5000, "Refresh balances"},
        {false, last, 1000, "Last refresh: 0s ago"},
        {false, last, 1042.9, "Last refresh: 42s ago"},
        {false, last, 1059.99, "Last refresh: 59s ago"},
        {false, last, 1060, "Last refresh: 1m ago"},
        {false, last, 1119.5, "Last refresh: 1m ago"},
        {false, last, 1200, "Last refresh: 3m ago"},
        {false, last, 1000 + 7200, "Last refresh: 120m ago"},
        // A clock set back reads as just now, not a negative age.
        {false, last, 990, "Last refresh: 0s ago"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(refreshHelpText(c.refreshing, c.lastRefresh, Date{c.now}), QString(c.text))
            << c.now;
    }
}

TEST(ConnectionStatus, DotsAndNetworkLines) {
    EXPECT_EQ(chainDotStyle(false), (DotStyle{QColor(34, 217, 102), 4}));
    EXPECT_EQ(chainDotStyle(true), (DotStyle{QColor::fromRgbF(0.23f, 0.64f, 0.91f), 4}));
    EXPECT_EQ(chainDotStyle(std::nullopt), (DotStyle{QColor(240, 72, 72), 2}));
    EXPECT_EQ(relayDotStyle(true), (DotStyle{QColor(34, 217, 102), 4}));
    EXPECT_EQ(relayDotStyle(false), (DotStyle{QColor(240, 72, 72), 2}));
    EXPECT_EQ(relayDotTooltip(true), "WalletConnect relay connected");
    EXPECT_EQ(relayDotTooltip(false), "WalletConnect relay disconnected");

    const char* labels[] = {"BTC", "ETH", "ARB", "POL", "SOL"};
    for (Chain chain : allChains()) {
        EXPECT_EQ(statusDotLabel(chain), labels[chainIndex(chain)]);
    }
    EXPECT_EQ(statusDotTooltip(Chain::bitcoin, "Connected to electrum.example"),
              "Bitcoin: Connected to electrum.example");
    EXPECT_EQ(statusDotTooltip(Chain::polygon, "Disconnected"), "Polygon: Disconnected");

    struct LineCase {
        bool connected, connecting;
        QColor color;
        const char* word;
        int glow;
    };
    const LineCase lines[] = {
        {false, false, QColor(240, 72, 72), "Disconnected", 1},
        {true, false, QColor(34, 217, 102), "Connected", 3},
        {false, true, QColor(240, 160, 48), "Connecting...", 1},
        {true, true, QColor(240, 160, 48), "Connecting...", 3},
    };
    for (const LineCase& c : lines) {
        EXPECT_EQ(networkLineStatus(c.connected, c.connecting),
                  (NetworkLineStatus{c.color, c.word, c.glow}))
            << c.connected << c.connecting;
    }
    EXPECT_EQ(networkLineTooltip(Chain::bitcoin, "Connected", "electrum.example"),
              QString::fromUtf8("Bitcoin \u2014 Connected \u2014 electrum.example"));
}

TEST(SidebarItems, BalanceTexts) {
    // The user's locale never changes the decimal point.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(bitcoinBalanceText(150'000), "0.00150000 BTC");
    EXPECT_EQ(bitcoinBalanceText(0), "0.00000000 BTC");
    EXPECT_EQ(bitcoinBalanceText(2'100'000'000'000'000), "21000000.00000000 BTC");
    EXPECT_EQ(solanaBalanceText(1'500'000'000, 0), "1.5000 SOL");
    EXPECT_EQ(solanaBalanceText(1'250'000'000, 1), "1.2500 SOL +1 tokens");

    EVMAccountState eth;
    eth.account.chain = Chain::ethereum;
    eth.balanceNative = 0.5;
    EXPECT_EQ(evmBalanceText(eth), "0.500000 ETH");
    eth.tokens.resize(2);
    EXPECT_EQ(evmBalanceText(eth), "0.500000 ETH +2 tokens");
    EVMAccountState arbitrum;
    arbitrum.account.chain = Chain::arbitrum;
    arbitrum.balanceNative = 1;
    arbitrum.tokens.resize(1);
    EXPECT_EQ(evmBalanceText(arbitrum), "1.000000 ETH +1 tokens");
    EVMAccountState polygon;
    polygon.account.chain = Chain::polygon;
    EXPECT_EQ(evmBalanceText(polygon), "0.000000 POL");
    QLocale::setDefault(previous);
}

TEST(BRPalette, ThemeAndFixedColours) {
    const ThemeColors& blue = themeColors(BRTheme::appleBlue);
    const ThemeColors& green = themeColors(BRTheme::dollarGreen);
    EXPECT_EQ(blue.accent, QColor(10, 132, 255));
    EXPECT_EQ(green.accent, QColor(212, 168, 75));
    EXPECT_EQ(blue.background, QColor(14, 23, 38));
    EXPECT_EQ(green.background, QColor(8, 18, 8));
    EXPECT_EQ(blue.textTertiary, QColor(74, 100, 128));
    EXPECT_EQ(green.gridLine, QColor(20, 44, 26));
    EXPECT_EQ(blue.backgroundGradientCentre, QColor(26, 40, 64));
    EXPECT_EQ(green.sidebarGradientBottom, QColor(7, 16, 7));
    EXPECT_EQ(palette::bitcoin(), QColor(255, 158, 44));
    EXPECT_EQ(palette::chainColor(Chain::solana), QColor(153, 69, 255));
    EXPECT_EQ(palette::chainColor(Chain::arbitrum), QColor(59, 164, 232));
    EXPECT_NEAR(palette::shadow().alphaF(), 0.35, 0.001);
    EXPECT_EQ(palette::shadow().rgb() & 0xFFFFFF, 0u);

    EXPECT_EQ(rawValue(allThemes()[0]), "Dollar Green");
    EXPECT_EQ(rawValue(allThemes()[1]), "Apple Blue");
    EXPECT_EQ(themeFromRawValue("Apple Blue"), BRTheme::appleBlue);
    EXPECT_EQ(themeFromRawValue("dollar green"), std::nullopt);
}

TEST(BRIcon, EveryShellSymbolHasAGlyphAndUnknownNamesShowTheFallback) {
    for (const char* name :
         {"arrow.clockwise", "arrow.triangle.swap", "bitcoinsign", "checkmark", "diamond",
          "doc.on.doc", "externaldrive.fill", "gear", "globe", "key.fill", "link",
          "link.badge.plus", "lock.fill", "lock.shield.fill", "network", "xmark.circle.fill"}) {
        EXPECT_TRUE(iconGlyph(name).has_value()) << name;
    }
    EXPECT_EQ(iconGlyph("no.such.symbol"), std::nullopt);
    BRIcon icon;
    const QString fallback = icon.glyph(QStringLiteral("no.such.symbol"));
    EXPECT_EQ(fallback.toUcs4(), QList<uint>{fallbackIconGlyph()});
    EXPECT_NE(icon.glyph(QStringLiteral("gear")), fallback);
}

} // namespace
} // namespace qm

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
            EXPECT_TRUE(qm::iconGlyph((*it)[2].str()).has_value())
                << (*it)[2].str() << " in " << entry.path().filename().string();
        }
    }
    EXPECT_GT(found, 20);
}
