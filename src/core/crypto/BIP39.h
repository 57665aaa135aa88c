#pragma once
// BIP-39 recovery phrases of 12 or 24 English words: generation, validation of
// typed phrases, and the 64-byte seed every account key is derived from.

#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/SecureBytes.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// No user-facing text: callers show their own message. what() names the case only;
// an unknown word is never put into it.
class BIP39Error : public Error {
public:
    enum class Code { unknownWord, invalidWordCount, invalidChecksum, entropyGenerationFailed };
    explicit BIP39Error(Code code, std::string word = {});
    ~BIP39Error() override;
    BIP39Error(const BIP39Error& other);
    BIP39Error& operator=(const BIP39Error&) = delete;

    Code code() const { return code_; }
    // The offending word for unknownWord, else empty.
    const std::string& word() const { return word_; }

private:
    Code code_;
    std::string word_;
};

struct BIP39 {
    // The standard English list in its alphabetical order: abandon (0) to zoo (2047).
    static const std::array<std::string_view, 2048> englishWordList;

    // A fresh phrase of 12 or 24 words from the system's random generator. Throws
    // BIP39Error invalidWordCount for any other count, entropyGenerationFailed when the
    // generator fails.
    static std::vector<std::string> generateMnemonic(int wordCount);

    // The words for the entropy bytes (16 give 12 words, 32 give 24): the entropy and
    // its SHA-256 checksum bits in 11-bit groups. Throws BIP39Error invalidWordCount when
    // the checksum would need more bits than SHA-256 has (over 1024 bytes of entropy).
    static std::vector<std::string> mnemonic(ByteView entropy);

    // True for 12 or 24 known words (any letter case) whose checksum matches; never throws.
    static bool isValidMnemonic(const std::vector<std::string>& words);

    // PBKDF2-HMAC-SHA512 (2048 rounds) of the words joined by single spaces, exactly as
    // passed (callers normalise first), salted with "mnemonic" + passphrase: 64 bytes.
    static SecureBytes seed(const std::vector<std::string>& mnemonic, std::string_view passphrase);
};

} // namespace qm
