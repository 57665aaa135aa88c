#include "KillAtRandom.h"
#include "TestHex.h"
#include "platform/AtomicFile.h"
#include "platform/Crypto.h"

#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

unsigned modeOf(const std::filesystem::path& path) {
    return static_cast<unsigned>(std::filesystem::status(path).permissions());
}

class AtomicFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    const std::filesystem::path root_ = dir_.path().toStdString();
};

TEST_F(AtomicFileTest, ModesComeFromTheCallerNotFromTheUmask) {
    const mode_t old = ::umask(0);
    const auto folder = root_ / "Quillmark";
    ensureDirectory(folder);
    writeFileAtomically(folder / "secret", test::ascii("a"));
    writeFileAtomically(folder / "public", test::ascii("b"), 0644);
    ::umask(old);
    EXPECT_EQ(std::make_tuple(modeOf(folder), modeOf(folder / "secret"), modeOf(folder / "public")),
              std::make_tuple(0700u, 0600u, 0644u));
    // Parents made on the way are private too (else anyone could swap the folder out).
    const mode_t before = ::umask(0);
    ensureDirectory(root_ / "home" / "share" / "Quillmark");
    ::umask(before);
    for (const auto& made : {root_ / "home", root_ / "home" / "share"}) {
        EXPECT_EQ(modeOf(made), 0700u) << made;
    }
    // An existing folder or file with looser modes is tightened when written again.
    ::chmod(folder.c_str(), 0777);
    writeFileAtomically(folder / "item", test::ascii("old"), 0666);
    ensureDirectory(folder);
    writeFileAtomically(folder / "item", test::ascii("new"));
    EXPECT_EQ(std::make_pair(modeOf(folder), modeOf(folder / "item")),
              std::make_pair(0700u, 0600u));
    EXPECT_EQ(readFileIfExists(folder / "item"), test::ascii("new"));
}

// Record: version (8) | filler | SHA-256 of all before. A torn or mixed file fails the digest.
Bytes record(std::uint64_t version, std::size_t fill) {
    Bytes bytes(8 + fill, static_cast<std::uint8_t>(version * 31));
    std::memcpy(bytes.data(), &version, 8);
    return concat(bytes, crypto::sha256(bytes));
}
std::optional<std::uint64_t> versionOf(const Bytes& bytes) {
    std::uint64_t version = 0;
    if (bytes.size() < 40) {
        return std::nullopt;
    }
    std::memcpy(&version, bytes.data(), 8);
    return record(version, bytes.size() - 40) == bytes ? std::optional(version) : std::nullopt;
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
    test::KillAtRandom killer;
    std::uint64_t seen[3] = {0, 0, 0};
    // Round 0 runs undisturbed: it sets the files up and tells how long 1,000 writes take.
    for (std::uint64_t round = 0; round <= 8; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(
            killer.run(static_cast<int>(round), [&] { writeVersions(folder, round * 1000); }));
        for (int k = 0; k < 3; ++k) {
            const auto bytes = readFileIfExists(folder / ("item" + std::to_string(k)));
            ASSERT_TRUE(bytes);
            const auto version = versionOf(*bytes);
            ASSERT_TRUE(version) << "item" << k << " is partial";
            EXPECT_GE(*version, seen[k]) << "item" << k << " went back";
            EXPECT_LE(*version, round * 1000 + 1000);
            seen[k] = *version;
        }
    }
    // Only the three files, plus temporaries of writes cut short, which the next start
    // removes; never a fourth name.
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.starts_with("item") || name.starts_with(".item")) << name;
    }
    removeInterruptedWrites(folder);
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_EQ(left, (std::set<std::string>{"item0", "item1", "item2"}));
}

} // namespace
} // namespace qm
