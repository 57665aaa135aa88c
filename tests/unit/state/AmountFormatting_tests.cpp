#include "state/AmountFormatting.h"

#include <QLocale>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

struct Case {
    const char* amount;
    std::int64_t decimals;
    const char* expected;
};

constexpr Case table[] = {
    {" 1", 0, "0"}, // leading white space
    {"12abc", 0, "0"},
    {"1500000000000000000", 18, "1.5000"},
    {"5000000000000000", 18, "0.005000"},
    {"999999999", 6, "1000.0000"}, // below 1000, so four digits, rounded up
    {"1e400", 0, "0"},
    {"123456789012345678901234567890", 18, "123456789012.35"},
};

void expectTable() {
    for (const Case& entry : table) {
        EXPECT_EQ(formatTokenAmount(entry.amount, entry.decimals), entry.expected) << entry.amount;
    }
}

// it_IT writes "1,5": a locale-dependent formatter would show a comma there.
TEST(AmountFormatting, TableInTheCLocaleAndUnderAnItalianOne) {
    expectTable();
    QTemporaryDir locales;
    const std::string folder = locales.path().toStdString();
    const std::string build =
        "localedef -i it_IT -f UTF-8 '" + folder + "/it_IT.UTF-8' 2>/dev/null";
    if (std::system(build.c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot build it_IT.UTF-8 (the locales package is missing)";
    }
    setenv("LOCPATH", folder.c_str(), 1);
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    char printed[32];
    std::snprintf(printed, sizeof printed, "%.4f", 1.5);
    ASSERT_EQ(std::string(printed), "1,5000") << "the Italian locale is not in force";

    expectTable();

    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
}

} // namespace
} // namespace qm
