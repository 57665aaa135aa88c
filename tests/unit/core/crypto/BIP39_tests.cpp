#include "TestHex.h"
#include "core/crypto/BIP39.h"
#include "platform/Crypto.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::hex;
using test::unhex;

std::vector<std::string> words(const std::string& phrase) {
    std::vector<std::string> out;
    std::istringstream stream(phrase);
    for (std::string word; stream >> word;) {
        out.push_back(word);
    }
    return out;
}

std::string joined(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& word : list) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

struct Vector {
    const char* entropy;
    const char* phrase;
    const char* seed; // with the passphrase "TREZOR"
};

// The reference BIP-39 English vectors (Trezor's vectors.json).
const Vector kVectors[] = {
    {"00000000000000000000000000000000",
     "abandon abandon abandon abandon abandon abandon abandon abandon "
     "abandon abandon abandon about",
     "c55257c360c07c72029aebc1b53c05ed0362ada38ead3e3e9efa3708e5349553"
     "1f09a6987599d18264c1e1c92f2cf141630c7a3c4ab7c81b2f001698e7463b04"},
    {"000000000000000000000000000000000000000000000000",
     "abandon abandon abandon abandon abandon abandon abandon abandon "
     "abandon abandon abandon abandon abandon abandon abandon abandon "
     "abandon agent",
     "035895f2f481b1b0f01fcf8c289c794660b289981a78f8106447707fdd9666ca"
     "06da5a9a565181599b79f53b844d8a71dd9f439c52a3d7b3e8a79c906ac845fa"},
};

TEST(BIP39, PublishedVectors) {
    for (const Vector& v : kVectors) {
        SCOPED_TRACE(v.phrase);
        const std::vector<std::string> phrase = BIP39::mnemonic(unhex(v.entropy));
        EXPECT_EQ(joined(phrase), v.phrase);
        const SecureBytes seed = BIP39::seed(phrase, "TREZOR");
        EXPECT_EQ(hex(Bytes(seed.begin(), seed.end())), v.seed);
        // Only 12 and 24 words are accepted, so the 18-word vectors fail validation.
        EXPECT_EQ(BIP39::isValidMnemonic(phrase), phrase.size() == 12 || phrase.size() == 24);
    }
}

TEST(BIP39, SeedTakesWordsAsPassed) {
    const auto phrase = words("abandon abandon abandon abandon abandon abandon abandon abandon "
                              "abandon abandon abandon about");
    const SecureBytes seed = BIP39::seed(phrase, "");

    // The seed takes the words exactly as given: callers normalise first.
    auto capitalised = phrase;
    capitalised[0] = "Abandon";
    EXPECT_TRUE(BIP39::isValidMnemonic(capitalised));
    EXPECT_FALSE(BIP39::seed(capitalised, "") == seed);
    EXPECT_FALSE(BIP39::seed(phrase, "TREZOR") == seed);
}

TEST(BIP39, WordListIsTheStandardEnglishList) {
    const auto& list = BIP39::englishWordList;
    ASSERT_EQ(list.size(), 2048u);
    // SHA-256 of the published english.txt: the words joined by "\n", with a final "\n".
    std::string text;
    for (const auto word : list) {
        text.append(word);
        text.push_back('\n');
    }
    EXPECT_EQ(hex(crypto::sha256(utf8View(text))),
              "2f5eed53a4727b4bf8880d8f3f199efc90e58503646d9ff8eff3a2ed3b24dbda");
}

TEST(BIP39, ValidationEdgeCases) {
    const auto about = words("abandon abandon abandon abandon abandon abandon abandon abandon "
                             "abandon abandon abandon about");
    EXPECT_TRUE(BIP39::isValidMnemonic(about));
    EXPECT_FALSE(BIP39::isValidMnemonic(std::vector<std::string>(12, "abandon"))); // checksum
    EXPECT_FALSE(BIP39::isValidMnemonic({}));

    // One word replaced: letter case is ignored; nothing else is trimmed or normalised.
    auto withWord = [&about](std::size_t at, const std::string& word) {
        auto phrase = about;
        phrase[at] = word;
        return BIP39::isValidMnemonic(phrase);
    };
    EXPECT_TRUE(withWord(11, "About"));
    EXPECT_FALSE(withWord(11, "about "));
    EXPECT_FALSE(withWord(5, "bitcoin"));

    // Lengths BIP-39 knows, with valid checksums, but not accepted here.
    for (const char* entropy : {"0000000000000000000000000000000000000000"}) {
        const auto phrase = BIP39::mnemonic(unhex(entropy));
        EXPECT_FALSE(BIP39::isValidMnemonic(phrase)) << phrase.size();
    }
    for (const std::size_t count : {13u}) {
        auto phrase = std::vector<std::string>(count, "abandon");
        EXPECT_FALSE(BIP39::isValidMnemonic(phrase)) << count;
    }
}

TEST(BIP39, Generation) {
    std::set<std::string> seen;
    for (const int count : {12, 24}) {
        for (int i = 0; i < 5; ++i) {
            const auto phrase = BIP39::generateMnemonic(count);
            EXPECT_EQ(phrase.size(), static_cast<std::size_t>(count));
            EXPECT_TRUE(BIP39::isValidMnemonic(phrase));
            seen.insert(joined(phrase));
        }
    }
    EXPECT_EQ(seen.size(), 10u);

    for (const int count : {0, -12, 18}) {
        try {
            BIP39::generateMnemonic(count);
            ADD_FAILURE() << count;
        } catch (const BIP39Error& error) {
            EXPECT_EQ(error.code(), BIP39Error::Code::invalidWordCount);
        }
    }
}

TEST(BIP39, EntropyLongerThanTheChecksumCanCoverIsRefused) {
    // 1024 bytes need all 256 bits of SHA-256 as checksum; more would read past the hash.
    EXPECT_EQ(BIP39::mnemonic(Bytes(1024, 0x5a)).size(), (1024u * 8 + 256) / 11);
    try {
        BIP39::mnemonic(Bytes(1028, 0x5a));
        ADD_FAILURE() << "no error";
    } catch (const BIP39Error& error) {
        EXPECT_EQ(error.code(), BIP39Error::Code::invalidWordCount);
    }
    EXPECT_TRUE(BIP39::mnemonic(Bytes{}).empty());
}

} // namespace
} // namespace qm
