#include "platform/Settings.h"

#include <QLockFile>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A child takes the settings' lock as QSettings does while it writes, then dies (SIGKILL) or
// stays alive; the pipe says when it holds the lock.
pid_t holdLock(const std::filesystem::path& lockFile, bool die) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        QLockFile lock(QString::fromStdString(lockFile.string()));
        const char held = lock.tryLock(0) ? 1 : 0;
        (void)::write(ready[1], &held, 1);
        if (die) {
            ::raise(SIGKILL);
        }
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    (void)::read(ready[0], &held, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    return held ? child : -1;
}

TEST(Settings, ALockLeftByAKilledProcessIsSweptAndALiveOneKept) {
    QTemporaryDir dir;
    const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "Q.conf";
    const std::filesystem::path lockFile = file.string() + ".lock";
    const pid_t killed = holdLock(lockFile, true);
    ASSERT_GT(killed, 0);
    ASSERT_EQ(::waitpid(killed, nullptr, 0), killed);
    ASSERT_TRUE(std::filesystem::exists(lockFile));
    { const Settings settings(file); }
    EXPECT_FALSE(std::filesystem::exists(lockFile));

    const pid_t alive = holdLock(lockFile, false);
    ASSERT_GT(alive, 0);
    { const Settings settings(file); }
    EXPECT_TRUE(std::filesystem::exists(lockFile));
    ::kill(alive, SIGKILL);
    ::waitpid(alive, nullptr, 0);
}

} // namespace
} // namespace qm
