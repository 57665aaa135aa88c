// Segwit address decoding of arbitrary text: never crashes, and a decoded address
// re-encodes to the lower-cased input, which decodes to the same triple. The same bytes
// also make an encoded address (random checksums almost never match), which must decode
// back exactly when its program length is allowed.

#include "core/crypto/Bech32.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void checkEncoded(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return;
    }
    const std::string hrp = (data[0] & 1) ? "bc" : "tb";
    const int version = data[1] % 32;
    const qm::Bytes program(data + 2, data + size);
    const auto decoded = qm::segwitAddressDecode(qm::segwitAddressEncode(hrp, version, program));
    const bool allowed = program.size() >= 2 && program.size() <= 40 &&
                         (version != 0 || program.size() == 20 || program.size() == 32);
    if (decoded.has_value() != allowed) {
        std::abort();
    }
    if (decoded && !(*decoded == qm::SegwitAddress{hrp, version, program})) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkEncoded(data, size);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto decoded = qm::segwitAddressDecode(text);
    if (!decoded) {
        return 0;
    }
    if (decoded->version < 0 || decoded->version > 31 || decoded->program.size() < 2 ||
        decoded->program.size() > 40) {
        std::abort();
    }
    const std::string encoded =
        qm::segwitAddressEncode(decoded->hrp, decoded->version, decoded->program);
    std::string lowered = text;
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    if (encoded != lowered) {
        std::abort();
    }
    const auto again = qm::segwitAddressDecode(encoded);
    if (!again || !(*again == *decoded)) {
        std::abort();
    }
    return 0;
}
