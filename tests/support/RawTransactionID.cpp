#include "RawTransactionID.h"

#include "core/encoding/Hex.h"
#include "platform/Crypto.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace qm::test {

std::string rawTransactionID(const std::string& rawHex) {
    const std::optional<Bytes> bytes = hexToBytes(rawHex);
    if (!bytes) {
        throw std::runtime_error("a transaction that is not hex");
    }
    const Bytes& raw = *bytes;
    std::size_t at = 0;
    const auto take = [&](std::size_t n) {
        if (at + n > raw.size()) {
            throw std::runtime_error("a truncated transaction");
        }
        at += n;
    };
    const auto compactSize = [&] {
        take(1);
        const std::uint8_t first = raw[at - 1];
        const std::size_t extra = first < 0xfd ? 0 : first == 0xfd ? 2 : first == 0xfe ? 4 : 8;
        std::uint64_t value = extra == 0 ? first : 0;
        take(extra);
        for (std::size_t i = 0; i < extra; ++i) {
            value |= std::uint64_t(raw[at - extra + i]) << (8 * i);
        }
        return value;
    };
    take(4);
    const bool witness = raw.size() > 5 && raw[4] == 0 && raw[5] == 1;
    Bytes stripped(raw.begin(), raw.begin() + 4);
    if (witness) {
        take(2);
    }
    const std::size_t bodyStart = at;
    const std::uint64_t inputs = compactSize();
    for (std::uint64_t i = 0; i < inputs; ++i) {
        take(36);
        take(compactSize());
        take(4);
    }
    const std::uint64_t outputs = compactSize();
    for (std::uint64_t i = 0; i < outputs; ++i) {
        take(8);
        take(compactSize());
    }
    stripped.insert(stripped.end(), raw.begin() + bodyStart, raw.begin() + at);
    stripped.insert(stripped.end(), raw.end() - 4, raw.end());
    Bytes hash = crypto::sha256(crypto::sha256(stripped));
    std::reverse(hash.begin(), hash.end());
    return bytesToPlainHex(hash);
}

} // namespace qm::test
