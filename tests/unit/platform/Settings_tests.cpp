#include "platform/Settings.h"

#include <QLockFile>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A kill while QLockFile creates the lock leaves it empty (its owner is written after it is
// made); QLockFile waits 30 s before calling such a lock stale, and the first write would wait
// that long. Nobody holds it, so the start removes it, and the temporaries of killed writes.
TEST(Settings, AnEmptyLockAndLeftoverTemporariesAreGoneAtStartAndTheFirstWriteGoesThrough) {
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    const std::filesystem::path file = folder / "Q.conf";
    {
        Settings settings(file);
        settings.setString("theme", "dark");
        settings.sync();
    }
    // QSettings writes an unnamed file, links it as "<file>.XXXXXX" and renames that over the
    // file: a kill between the two leaves the temporary.
    std::ofstream(folder / "Q.conf.PBuYjS") << "[General]\ntheme=half\n";
    std::ofstream(folder / "Q.conf.x7Kq2Z") << "[General]\ntheme=other\n";
    std::ofstream(folder / "Q.conf.lock").close();
    std::ofstream(folder / "Q.conf.notes") << "not ours"; // no temporary's name
    ASSERT_EQ(namesIn(folder).size(), 5u) << "two temporaries, the lock, the file, the notes";

    Settings settings(file);
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"Q.conf", "Q.conf.notes"}));
    EXPECT_EQ(settings.string("theme"), "dark");
    settings.setString("theme", "light");
    settings.sync();
    EXPECT_EQ(QSettings(QString::fromStdString(file.string()), QSettings::IniFormat)
                  .value("theme")
                  .toString(),
              QStringLiteral("light"));
}

// An empty lock whose creator is alive (it takes its flock before naming itself) stays, and
// so does what may be its write's temporary.
TEST(Settings, AnEmptyLockHeldByALiveProcessIsKeptWithTheTemporaries) {
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    const std::filesystem::path file = folder / "Q.conf";
    const int held = ::open((folder / "Q.conf.lock").c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    std::ofstream(folder / "Q.conf.a1B2c3") << "being written";

    { const Settings settings(file); }
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"Q.conf.a1B2c3", "Q.conf.lock"}));
    ::close(held);
}

} // namespace
} // namespace qm
