#include "core/crypto/BIP39.h"

#include "platform/Crypto.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace qm {
namespace {

constexpr std::uint32_t kSeedRounds = 2048;
constexpr std::size_t kSeedSize = 64;
constexpr std::size_t kWordBits = 11;

const char* caseName(BIP39Error::Code code) {
    switch (code) {
    case BIP39Error::Code::unknownWord:
        return "BIP39Error.unknownWord";
    case BIP39Error::Code::invalidWordCount:
        return "BIP39Error.invalidWordCount";
    case BIP39Error::Code::invalidChecksum:
        return "BIP39Error.invalidChecksum";
    case BIP39Error::Code::entropyGenerationFailed:
        return "BIP39Error.entropyGenerationFailed";
    }
    return "BIP39Error";
}

// Bit `index` of the bytes, most significant bit of the first byte first.
bool bitAt(ByteView bytes, std::size_t index) {
    return ((bytes[index / 8] >> (7 - index % 8)) & 1) != 0;
}

// The list index of a lower-case word, by a scan from the start of the list.
std::optional<std::size_t> wordIndex(std::string_view word) {
    for (std::size_t i = 0; i < BIP39::englishWordList.size(); ++i) {
        if (BIP39::englishWordList[i] == word) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

BIP39Error::BIP39Error(Code code, std::string word)
    : Error(caseName(code)), code_(code), word_(std::move(word)) {}

BIP39Error::BIP39Error(const BIP39Error& other)
    : Error(other), code_(other.code_), word_(other.word_) {}

// The word may be part of someone's phrase.
BIP39Error::~BIP39Error() {
    wipe(word_);
}

std::vector<std::string> BIP39::generateMnemonic(int wordCount) {
    if (wordCount != 12 && wordCount != 24) {
        throw BIP39Error(BIP39Error::Code::invalidWordCount);
    }
    SecureBytes entropy(wordCount == 12 ? 16 : 32);
    try {
        crypto::randomFill(entropy.data(), entropy.size());
    } catch (const CryptoError&) {
        throw BIP39Error(BIP39Error::Code::entropyGenerationFailed);
    }
    return mnemonic(entropy);
}

std::vector<std::string> BIP39::mnemonic(ByteView entropy) {
    const std::size_t checksumBits = entropy.size() / 4;
    const Bytes hash = crypto::sha256(entropy);
    if (checksumBits > hash.size() * 8) {
        throw BIP39Error(BIP39Error::Code::invalidWordCount);
    }
    const std::size_t entropyBits = entropy.size() * 8;
    const std::size_t wordCount = (entropyBits + checksumBits) / kWordBits;

    std::vector<std::string> words;
    words.reserve(wordCount);
    std::size_t bit = 0;
    for (std::size_t w = 0; w < wordCount; ++w) {
        std::size_t index = 0;
        for (std::size_t i = 0; i < kWordBits; ++i, ++bit) {
            const bool set =
                bit < entropyBits ? bitAt(entropy, bit) : bitAt(hash, bit - entropyBits);
            index = (index << 1) | (set ? 1u : 0u);
        }
        words.emplace_back(englishWordList[index]);
    }
    return words;
}

bool BIP39::isValidMnemonic(const std::vector<std::string>& words) {
    if (words.size() != 12 && words.size() != 24) {
        return false;
    }
    const std::size_t entropySize = words.size() == 12 ? 16 : 32;
    const std::size_t checksumBits = entropySize / 4;

    // Entropy then checksum bits, packed most significant bit first.
    SecureBytes bits(entropySize + 1);
    std::size_t bit = 0;
    for (const std::string& word : words) {
        // ASCII lowering is enough: every listed word is plain lower-case ASCII.
        std::string lowered = word;
        for (char& c : lowered) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        const std::optional<std::size_t> index = wordIndex(lowered);
        wipe(lowered);
        if (!index) {
            return false;
        }
        for (std::size_t i = 0; i < kWordBits; ++i, ++bit) {
            if ((*index >> (kWordBits - 1 - i)) & 1) {
                bits[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
            }
        }
    }

    const ByteView entropy = bits.view().first(entropySize);
    const Bytes hash = crypto::sha256(entropy);
    const std::uint8_t mask = static_cast<std::uint8_t>(0xFF00u >> checksumBits);
    return (bits[entropySize] & mask) == (hash[0] & mask);
}

SecureBytes BIP39::seed(const std::vector<std::string>& mnemonic, std::string_view passphrase) {
    std::string phrase;
    for (std::size_t i = 0; i < mnemonic.size(); ++i) {
        if (i > 0) {
            phrase.push_back(' ');
        }
        phrase += mnemonic[i];
    }
    std::string salt = "mnemonic";
    salt += passphrase;

    std::optional<SecureBytes> seed;
    try {
        seed = crypto::pbkdf2HmacSha512(utf8View(phrase), utf8View(salt), kSeedRounds, kSeedSize);
    } catch (const CryptoError&) {
        wipe(phrase);
        wipe(salt);
        fatalError(nullptr); // PBKDF2 cannot fail for these arguments
    }
    wipe(phrase);
    wipe(salt);
    return std::move(*seed);
}

} // namespace qm
