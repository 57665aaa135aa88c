#include "core/storage/TokenStore.h"
#include "platform/AtomicFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace qm {
namespace {

namespace fs = std::filesystem;
using Added = TokenStore::AddResult;

const Token usdc{"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", "USDC", 6, Chain::ethereum};
const Token dai{"0x6B175474E89094C44Da98b954EedeAC495271d0F", "DAI", "DAI", 18, Chain::ethereum};
const Token polygonUSDC{"0x2791Bca1f2de4661ED88A30C99A7a9449Aa84174", "USDC", "U", 6,
                        Chain::polygon};

class TokenStoreTest : public testing::Test {
protected:
    fs::path folder() const { return fs::path(dir_.path().toStdString()) / "Quillmark"; }
    fs::path file() const { return folder() / "tokens.json"; }
    TokenMap onDisk(const fs::path& path) const {
        return TokenStore::decodeFile(readFileIfExists(path).value());
    }
    void writeText(const fs::path& path, std::string_view text) const {
        ensureDirectory(path.parent_path());
        writeFileAtomically(path, utf8View(text));
    }
    std::vector<Bytes> setAside() const {
        std::vector<Bytes> found;
        for (const auto& entry : fs::directory_iterator(folder())) {
            if (entry.path().filename().string().starts_with("tokens.json.unreadable-")) {
                found.push_back(readFileIfExists(entry.path()).value());
            }
        }
        return found;
    }
    QTemporaryDir dir_;
};

TEST_F(TokenStoreTest, AddsMergeIntoTheWholeMapAndDuplicatesIgnoreCaseWithinAChain) {
    TokenStore store(file());
    EXPECT_EQ(store.add(usdc), Added::added);
    EXPECT_EQ(store.add(dai), Added::added);
    EXPECT_EQ(store.add(polygonUSDC), Added::added);
    TokenStore reader(file());
    EXPECT_EQ(reader.load(), TokenStore::LoadResult::loaded);
    EXPECT_EQ(reader.tokensByChain, store.tokensByChain);

    fs::remove(file()); // a skipped add must not write at all
    EXPECT_EQ(store.add(Token{"0xa0b86991c6218b36c1d19d4a2e9eb0ce3606eb48", "X", "X", 18,
                              Chain::ethereum}),
              Added::duplicate);
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_EQ(store.tokens(Chain::ethereum), (std::vector<Token>{usdc, dai}));
    EXPECT_EQ(store.add(Token{usdc.contractAddress, "USDC", "USDC", 6, Chain::arbitrum}),
              Added::added); // the same address on another chain is another token
}

TEST_F(TokenStoreTest, AnUnreadableFileIsSetAsideNotOverwritten) {
    const std::string garbage = R"({"ethereum":[{"contractAddress":"0x1","decimals":1.5}]})";
    writeText(file(), garbage);
    TokenStore store(file());
    EXPECT_EQ(store.load(), TokenStore::LoadResult::unreadable);
    EXPECT_EQ(store.add(usdc), Added::added);
    EXPECT_EQ(store.add(dai), Added::added); // later writes set nothing more aside
    EXPECT_EQ(setAside(), std::vector<Bytes>{Bytes(garbage.begin(), garbage.end())});
    EXPECT_EQ(onDisk(file()).at("ethereum"), (std::vector<Token>{usdc, dai}));

    // One that nobody loaded is set aside too, under a name of its own in the same second;
    // a readable one that was never loaded is replaced.
    writeText(file(), "[]");
    EXPECT_EQ(TokenStore(file()).add(dai), Added::added);
    EXPECT_EQ(TokenStore(file()).add(polygonUSDC), Added::added);
    EXPECT_EQ(setAside().size(), 2u);
}

TEST_F(TokenStoreTest, AFailedWriteKeepsTheTokenAndTheNextAddSavesEverything) {
    // A file where the store's folder belongs makes every write fail, whoever runs the test.
    const fs::path blocker = folder() / "blocker";
    writeText(blocker, "x");
    TokenStore store(blocker / "tokens.json");
    EXPECT_EQ(store.add(usdc), Added::notSaved);
    EXPECT_NE(store.lastSaveError().find("tokens.json"), std::string::npos);
    EXPECT_EQ(store.tokens(Chain::ethereum), std::vector<Token>{usdc});
    fs::remove(blocker);
    fs::create_directory(blocker);
    EXPECT_EQ(store.add(dai), Added::added);
    EXPECT_TRUE(store.lastSaveError().empty());
    EXPECT_EQ(onDisk(blocker / "tokens.json").at("ethereum"), (std::vector<Token>{usdc, dai}));
}

} // namespace
} // namespace qm
