// Phrase validation of arbitrary words: never crashes or throws, and a valid phrase
// is one the encoder produces again from its own entropy. Inputs of 16 or 32 bytes are
// also taken as entropy, whose phrase must validate.

#include "core/crypto/BIP39.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 16 || size == 32) {
        auto phrase = qm::BIP39::mnemonic(qm::ByteView(data, size));
        if (!qm::BIP39::isValidMnemonic(phrase)) {
            std::abort();
        }
        phrase[data[0] % phrase.size()][0] ^= 0x20; // one capital letter changes nothing
        if (!qm::BIP39::isValidMnemonic(phrase)) {
            std::abort();
        }
    }
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == ' ') {
            words.emplace_back();
        } else {
            words.back().push_back(static_cast<char>(data[i]));
        }
    }
    if (!qm::BIP39::isValidMnemonic(words)) {
        return 0;
    }
    if (words.size() != 12 && words.size() != 24) {
        std::abort();
    }
    // Rebuild the entropy from the word indices and encode it again.
    qm::Bytes bits((words.size() * 11 + 7) / 8, 0);
    std::size_t bit = 0;
    for (std::string word : words) {
        for (char& c : word) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        std::size_t index = 0;
        while (index < qm::BIP39::englishWordList.size() &&
               qm::BIP39::englishWordList[index] != word) {
            ++index;
        }
        if (index == qm::BIP39::englishWordList.size()) {
            std::abort();
        }
        for (int i = 10; i >= 0; --i, ++bit) {
            if ((index >> i) & 1) {
                bits[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
            }
        }
    }
    const qm::Bytes entropy(bits.begin(), bits.begin() + (words.size() == 12 ? 16 : 32));
    const auto again = qm::BIP39::mnemonic(entropy);
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string lowered = words[i];
        for (char& c : lowered) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        if (again[i] != lowered) {
            std::abort();
        }
    }
    return 0;
}
