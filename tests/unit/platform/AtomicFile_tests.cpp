#include "TestHex.h"
#include "platform/AtomicFile.h"
#include "platform/Crypto.h"

#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qm {
namespace {

unsigned modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QTemporaryDir dir_;
    const std::filesystem::path root_ = dir_.path().toStdString();
};

TEST_F(AtomicFileTest, ModesComeFromTheCallerNotFromTheUmask) {
    for (const mode_t mask : {mode_t{0}, mode_t{077}}) {
        SCOPED_TRACE(mask);
        const mode_t old = ::umask(mask);
        const auto folder = root_ / ("m" + std::to_string(mask)) / "Quillmark";
        ensureDirectory(folder);
        writeFileAtomically(folder / "secret", test::ascii("a"));
        writeFileAtomically(folder / "public", test::ascii("b"), 0644);
        ::umask(old);
        EXPECT_EQ(modeOf(folder), 0700u);
        EXPECT_EQ(modeOf(folder / "secret"), 0600u);
        EXPECT_EQ(modeOf(folder / "public"), 0644u);
    }
    // An existing folder or file with looser modes is tightened when written again.
    const auto folder = root_ / "loose";
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0777);
    writeFileAtomically(folder / "item", test::ascii("old"), 0666);
    ensureDirectory(folder);
    writeFileAtomically(folder / "item", test::ascii("new"));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(folder / "item"), 0600u);
    EXPECT_EQ(readFileIfExists(folder / "item"), test::ascii("new"));
}

TEST_F(AtomicFileTest, ReadsRemovesAndReportsFailuresWithoutLeftovers) {
    const auto path = root_ / "item";
    EXPECT_EQ(readFileIfExists(path), std::nullopt);
    const Bytes big = crypto::randomBytes(300'000);
    writeFileAtomically(path, big);
    EXPECT_EQ(readFileIfExists(path), big);
    removeFileIfExists(path);
    EXPECT_NO_THROW(removeFileIfExists(path));
    EXPECT_EQ(readFileIfExists(path), std::nullopt);

    // A folder where a file should be: reading, replacing and removing it all fail.
    const auto blocker = root_ / "blocker";
    std::filesystem::create_directories(blocker / "inside");
    try {
        readFileIfExists(blocker);
        ADD_FAILURE() << "read a folder";
    } catch (const FileError& error) {
        EXPECT_EQ(error.errorNumber(), EISDIR);
    }
    EXPECT_THROW(writeFileAtomically(blocker, test::ascii("x")), FileError);
    EXPECT_THROW(removeFileIfExists(blocker), FileError);
    // No temporary file stays behind after a failed write.
    EXPECT_EQ(namesIn(root_), std::vector<std::string>{"blocker"});
}

// Record: version (8) | filler | SHA-256 of all before. A torn or mixed file fails the digest.
Bytes record(std::uint64_t version, std::size_t fill) {
    Bytes bytes(8 + fill, static_cast<std::uint8_t>(version * 31));
    std::memcpy(bytes.data(), &version, 8);
    const Bytes digest = crypto::sha256(bytes);
    bytes.insert(bytes.end(), digest.begin(), digest.end());
    return bytes;
}

// The version a whole record holds; absent for anything partial or mixed.
std::optional<std::uint64_t> versionOf(const Bytes& bytes) {
    if (bytes.size() < 40 || crypto::sha256(ByteView(bytes.data(), bytes.size() - 32)) !=
                                 Bytes(bytes.end() - 32, bytes.end())) {
        return std::nullopt;
    }
    std::uint64_t version = 0;
    std::memcpy(&version, bytes.data(), 8);
    return version;
}

// 1,000 writes over three files, versions first+1 .. first+1000.
[[noreturn]] void writeVersions(const std::filesystem::path& folder, std::uint64_t first) {
    for (std::uint64_t i = 1; i <= 1000; ++i) {
        const std::uint64_t version = first + i;
        writeFileAtomically(folder / ("item" + std::to_string(version % 3)),
                            record(version, (version * 7919) % 60000));
    }
    ::_exit(0);
}

TEST_F(AtomicFileTest, AWriterKilledAtAnyPointLeavesEachFileOldOrNew) {
    const auto folder = root_ / "Quillmark";
    ensureDirectory(folder);
    std::mt19937_64 random(std::random_device{}());

    // One undisturbed run sets the files up and tells how long 1,000 writes take here.
    const auto start = std::chrono::steady_clock::now();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        writeVersions(folder, 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto fullRun = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);

    std::uint64_t seen[3] = {0, 0, 0};
    const auto checkFiles = [&](std::uint64_t newest) {
        for (int k = 0; k < 3; ++k) {
            const auto bytes = readFileIfExists(folder / ("item" + std::to_string(k)));
            ASSERT_TRUE(bytes);
            const auto version = versionOf(*bytes);
            ASSERT_TRUE(version) << "item" << k << " is partial";
            EXPECT_GE(*version, seen[k]) << "item" << k << " went back";
            EXPECT_LE(*version, newest);
            seen[k] = *version;
        }
    };
    checkFiles(1000);

    for (std::uint64_t round = 1; round <= 8; ++round) {
        SCOPED_TRACE(round);
        child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            writeVersions(folder, round * 1000);
        }
        std::uniform_int_distribution<std::int64_t> delay(0, fullRun.count());
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        checkFiles(round * 1000 + 1000);
    }
    // Only the three files, plus temporaries of writes cut short; never a fourth name.
    for (const std::string& name : namesIn(folder)) {
        EXPECT_TRUE(name.starts_with("item") || name.starts_with(".item")) << name;
    }
}

} // namespace
} // namespace qm
