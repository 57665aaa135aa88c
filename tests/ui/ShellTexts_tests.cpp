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
        // Characters, not bytes: 17 accented letters made of two code points each.
        {QString("e\u0301").repeated(17), true,
         QString("e\u0301").repeated(8) + "..." + QString("e\u0301").repeated(6)},
    };
    for (const Case& c : labelCases) {
        EXPECT_EQ(addressLabelText(c.address, c.truncate), c.label) << c.address.toStdString();
    }

    const std::pair<QString, QString> sidebarCases[] = {
        {"0123456789ab", "0123456789ab"},   // 12: whole
        {"0123456789abc", "012345...9abc"}, // 13: 6 + ... + 4
        {"0x52908400098527886E0F7030069857D2E4169EE7", "0x5290...9EE7"},
    };
    for (const auto& [address, shown] : sidebarCases) {
        EXPECT_EQ(sidebarAddressText(address), shown) << address.toStdString();
    }
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
        {false, std::nullopt, 5000, "Refresh balances"},
        {false, last, 1059.99, "Last refresh: 59s ago"},
        {false, last, 1060, "Last refresh: 1m ago"},
        // A clock set back reads as just now, not a negative age.
        {false, last, 990, "Last refresh: 0s ago"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(refreshHelpText(c.refreshing, c.lastRefresh, Date{c.now}), QString(c.text))
            << c.now;
    }
}

TEST(SidebarItems, BalanceTexts) {
    // The user's locale never changes the decimal point.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(bitcoinBalanceText(150'000), "0.00150000 BTC");
    EXPECT_EQ(solanaBalanceText(1'500'000'000, 0), "1.5000 SOL");
    EXPECT_EQ(solanaBalanceText(1'250'000'000, 1), "1.2500 SOL +1 tokens");

    EVMAccountState eth;
    eth.account.chain = Chain::ethereum;
    eth.balanceNative = 0.5;
    EXPECT_EQ(evmBalanceText(eth), "0.500000 ETH");
    eth.tokens.resize(2);
    EXPECT_EQ(evmBalanceText(eth), "0.500000 ETH +2 tokens");
    EVMAccountState polygon;
    polygon.account.chain = Chain::polygon;
    EXPECT_EQ(evmBalanceText(polygon), "0.000000 POL");
    QLocale::setDefault(previous);
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
