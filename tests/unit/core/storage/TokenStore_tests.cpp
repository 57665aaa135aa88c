#include "core/model/JSONFields.h"
#include "core/storage/TokenStore.h"
#include "platform/AtomicFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

namespace fs = std::filesystem;

const Token usdc{"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", "USD Coin", 6,
                 Chain::ethereum};
const Token dai{"0x6B175474E89094C44Da98b954EedeAC495271d0F", "DAI", "Dai Stablecoin", 18,
                Chain::ethereum};
const Token polygonUSDC{"0x2791Bca1f2de4661ED88A30C99A7a9449Aa84174", "USDC", "USD Coin (PoS)", 6,
                        Chain::polygon};

class TokenStoreTest : public testing::Test {
protected:
    fs::path folder() const { return fs::path(dir_.path().toStdString()) / "Quillmark"; }
    fs::path file() const { return folder() / "tokens.json"; }

    std::string fileText() const {
        const auto bytes = readFileIfExists(file());
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<absent>");
    }
    void writeText(const fs::path& path, std::string_view text) const {
        ensureDirectory(path.parent_path());
        writeFileAtomically(path, utf8View(text));
    }
    std::vector<fs::path> setAsideFiles() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(folder())) {
            if (entry.path().filename().string().starts_with("tokens.json.unreadable-")) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    QTemporaryDir dir_;
};

TEST_F(TokenStoreTest, AddWritesTheWholeMapAndReadsBackInOrder) {
    TokenStore store(file());
    EXPECT_EQ(store.add(usdc), TokenStore::AddResult::added);
    EXPECT_EQ(store.add(dai), TokenStore::AddResult::added);
    // The first Polygon token creates its key; the Ethereum list is written unchanged with it.
    EXPECT_EQ(store.add(polygonUSDC), TokenStore::AddResult::added);
    EXPECT_EQ(nlohmann::json::parse(fileText()).at("ethereum"),
              nlohmann::json(std::vector<Token>{usdc, dai}));
    EXPECT_EQ(fileText().find('\n'), std::string::npos); // compact
    EXPECT_EQ(fs::status(file()).permissions() & fs::perms::others_all, fs::perms::none);

    TokenStore reader(file());
    EXPECT_TRUE(reader.tokens(Chain::ethereum).empty()); // the store never reads by itself
    EXPECT_EQ(reader.load(), TokenStore::LoadResult::loaded);
    EXPECT_EQ(reader.tokensByChain, store.tokensByChain);
}

TEST_F(TokenStoreTest, DuplicatesIgnoreLetterCaseWithinAChainOnly) {
    TokenStore store(file());
    ASSERT_EQ(store.add(usdc), TokenStore::AddResult::added);
    fs::remove(file()); // a skipped add must not write at all

    Token lowerCase = usdc;
    lowerCase.contractAddress = "0xa0b86991c6218b36c1d19d4a2e9eb0ce3606eb48";
    lowerCase.symbol = "usdc-other";
    lowerCase.decimals = 18;
    EXPECT_EQ(store.add(lowerCase), TokenStore::AddResult::duplicate);
    EXPECT_EQ(store.add(usdc), TokenStore::AddResult::duplicate);
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_EQ(store.tokens(Chain::ethereum), std::vector<Token>{usdc}); // the first entry stays

    Token onArbitrum = usdc;
    onArbitrum.chain = Chain::arbitrum;
    EXPECT_EQ(store.add(onArbitrum), TokenStore::AddResult::added);
}

TEST_F(TokenStoreTest, AnUnreadableFileIsSetAsideNotOverwritten) {
    const std::string garbage = R"({"ethereum":[{"contractAddress":"0x1","symbol":"X","name":"X",)"
                                R"("decimals":1.5,"chain":"ethereum"}]})";
    writeText(file(), garbage);

    TokenStore store(file());
    testing::internal::CaptureStdout();
    EXPECT_EQ(store.load(), TokenStore::LoadResult::unreadable);
    EXPECT_EQ(store.add(usdc), TokenStore::AddResult::added);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("aside"), std::string::npos);

    const auto aside = setAsideFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readFileIfExists(aside[0]), Bytes(garbage.begin(), garbage.end()));
    EXPECT_EQ(TokenStore::decodeFile(utf8View(fileText())).at("ethereum"),
              std::vector<Token>{usdc});

    // Later writes replace the store's own file and set nothing more aside.
    EXPECT_EQ(store.add(dai), TokenStore::AddResult::added);
    EXPECT_EQ(setAsideFiles().size(), 1u);

    // One that nobody loaded is set aside too, under a name of its own in the same second.
    writeText(file(), "[]");
    TokenStore second(file());
    testing::internal::CaptureStdout();
    EXPECT_EQ(second.add(dai), TokenStore::AddResult::added);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(setAsideFiles().size(), 2u);

    // A readable file that was never loaded is replaced, as before.
    TokenStore third(file());
    EXPECT_EQ(third.add(polygonUSDC), TokenStore::AddResult::added);
    EXPECT_EQ(setAsideFiles().size(), 2u);
}

TEST_F(TokenStoreTest, WriteFailuresAreReportedAndLogged) {
    // A file where the store's folder belongs makes every write fail, whoever runs the test.
    const fs::path blocker = folder() / "blocker";
    writeText(blocker, "x");
    TokenStore store(blocker / "tokens.json");
    EXPECT_EQ(store.load(), TokenStore::LoadResult::unreadable);
    testing::internal::CaptureStdout();
    EXPECT_EQ(store.add(usdc), TokenStore::AddResult::notSaved);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("[TokenStore] "), std::string::npos);
    EXPECT_FALSE(store.lastSaveError().empty());
    EXPECT_EQ(store.tokens(Chain::ethereum), std::vector<Token>{usdc}); // kept in memory

    // Once the file can be written, the next add saves the whole map.
    fs::remove(blocker);
    fs::create_directory(blocker);
    EXPECT_EQ(store.add(dai), TokenStore::AddResult::added);
    EXPECT_TRUE(store.lastSaveError().empty());
    EXPECT_EQ(TokenStore::decodeFile(*readFileIfExists(blocker / "tokens.json")).at("ethereum"),
              (std::vector<Token>{usdc, dai}));

    // The write itself fails (the folder is gone, a file stands in its place).
    fs::remove_all(blocker);
    writeText(blocker, "x");
    testing::internal::CaptureStdout();
    EXPECT_EQ(store.add(polygonUSDC), TokenStore::AddResult::notSaved);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("[TokenStore] Could not save"),
              std::string::npos);
    EXPECT_NE(store.lastSaveError().find("tokens.json"), std::string::npos);
    EXPECT_EQ(store.tokens(Chain::polygon), std::vector<Token>{polygonUSDC});
}

TEST_F(TokenStoreTest, StoredFixtureKeepsReading) {
    const auto fixture =
        readFileIfExists(fs::path(QM_SOURCE_DIR) / "tests/data/storage/tokens.json");
    ASSERT_TRUE(fixture);
    writeText(file(), std::string(fixture->begin(), fixture->end()));
    TokenStore store(file());
    ASSERT_EQ(store.load(), TokenStore::LoadResult::loaded);
    ASSERT_EQ(store.tokens(Chain::ethereum).size(), 2u);
    EXPECT_EQ(store.tokens(Chain::ethereum)[1].name, "Dai Stablecoin / MakerDAO");
    EXPECT_EQ(store.tokens(Chain::polygon).size(), 1u);
    // Adding keeps what was read.
    EXPECT_EQ(store.add(usdc), TokenStore::AddResult::added);
    EXPECT_EQ(TokenStore::decodeFile(utf8View(fileText())).at("ethereum").size(), 3u);
    EXPECT_TRUE(setAsideFiles().empty());
}

} // namespace
} // namespace qm
