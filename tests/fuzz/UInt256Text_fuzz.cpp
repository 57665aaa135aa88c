// UInt256 from arbitrary hex and decimal text: no crash, no sanitizer report,
// and whatever parses survives the round trips through its other forms.

#include "core/crypto/UInt256.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkRoundTrips(const qm::UInt256& value) {
    require(qm::UInt256::fromHex(value.description()) == value);
    require(qm::UInt256::fromBigEndianBytes(value.minimalBigEndianBytes()) == value);
    require(qm::UInt256::fromBigEndianBytes(value.bigEndianWord()) == value);
    require(value.multipliedTruncating(qm::UInt256(0, 0, 0, 1)) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto value = qm::UInt256::fromHex(text)) {
        checkRoundTrips(*value);
    }
    checkRoundTrips(qm::UInt256::fromDecimalString(text));
    return 0;
}
