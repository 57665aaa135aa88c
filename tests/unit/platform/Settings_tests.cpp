#include "platform/Settings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(Settings, TextsPersistAcrossInstancesAndRemovalForgetsThem) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::filesystem::path path = dir.filePath("defaults.ini").toStdString();
    {
        Settings settings(path);
        EXPECT_EQ(settings.string("app_theme"), std::nullopt);
        settings.setString("app_theme", "Dollar Green");
        settings.setString("note", "Grüße, 🔑 and = ; signs");
        settings.setString("empty", "");
        settings.sync();
    }
    Settings settings(path);
    EXPECT_EQ(settings.string("app_theme"), "Dollar Green");
    EXPECT_EQ(settings.string("note"), "Grüße, 🔑 and = ; signs");
    EXPECT_EQ(settings.string("empty"), "");
    settings.remove("app_theme");
    settings.sync();
    EXPECT_EQ(Settings(path).string("app_theme"), std::nullopt);
    EXPECT_EQ(Settings(path).string("note"), "Grüße, 🔑 and = ; signs");
}

} // namespace
} // namespace qm
