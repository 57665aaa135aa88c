#include "platform/Settings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace qm {
namespace {

unsigned modeOf(const std::filesystem::path& path) {
    return static_cast<unsigned>(std::filesystem::status(path).permissions());
}

// Under umask 000 QSettings alone would leave the folder 0777 and the file 0666.
TEST(Settings, TheFileAndTheFoldersMadeForItArePrivateWhateverTheUmask) {
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    const std::filesystem::path file = root / "config" / "Quillmark" / "Quillmark.conf";
    const mode_t before = ::umask(0);
    {
        Settings settings(file);
        settings.setString("theme", "dark");
        settings.sync();
    }
    {
        Settings again(file); // a rewrite keeps the mode
        again.setString("theme", "light");
        again.sync();
        EXPECT_EQ(again.string("theme"), "light");
    }
    ::umask(before);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(root / "config"), 0700u);
    EXPECT_EQ(modeOf(root / "config" / "Quillmark"), 0700u);
}

} // namespace
} // namespace qm
