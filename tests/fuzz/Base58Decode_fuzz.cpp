// Base58 decoding of arbitrary text: never crashes, and whatever decodes encodes back to
// the same text and decodes to the same bytes again.

#include "core/crypto/Base58.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Base58 is quadratic; real inputs are a few dozen characters.
    if (size > 512) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto decoded = qm::base58Decode(text);
    if (!decoded) {
        return 0;
    }
    const std::string encoded = qm::base58Encode(*decoded);
    const auto again = qm::base58Decode(encoded);
    if (!again || *again != *decoded) {
        std::abort();
    }
    // Every decodable text is canonical (a leading "1" is a zero byte, never a zero
    // digit), so it comes back unchanged.
    if (encoded != text) {
        std::abort();
    }
    return 0;
}
