#include "services/evm/RLP.h"

#include <algorithm>
#include <utility>

namespace qm {
namespace {

Bytes withoutLeadingZeros(ByteView bytes) {
    const auto first = std::find_if(bytes.begin(), bytes.end(), [](auto b) { return b != 0; });
    return Bytes(first, bytes.end());
}

// The short form holds lengths up to 55 in the prefix byte itself; longer
// payloads carry their minimal big-endian length after a prefix that counts its
// bytes.
Bytes lengthPrefixed(std::uint8_t shortBase, std::uint8_t longBase, ByteView payload) {
    Bytes out;
    if (payload.size() <= 55) {
        out.reserve(1 + payload.size());
        out.push_back(static_cast<std::uint8_t>(shortBase + payload.size()));
    } else {
        const Bytes length = withoutLeadingZeros(RLP::bigEndianBytes(payload.size()));
        out.reserve(1 + length.size() + payload.size());
        out.push_back(static_cast<std::uint8_t>(longBase + length.size()));
        out.insert(out.end(), length.begin(), length.end());
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

constexpr int kMostNesting = 8;

// The item at the start of `input`, and how many bytes it took; none when it is malformed.
std::optional<std::pair<RLPItem, std::size_t>> decodeItem(ByteView input, int depth) {
    if (input.empty() || depth > kMostNesting) {
        return std::nullopt;
    }
    const std::uint8_t prefix = input[0];
    RLPItem item;
    if (prefix < 0x80) {
        item.bytes = Bytes{prefix};
        return std::pair(std::move(item), std::size_t{1});
    }
    item.isList = prefix >= 0xC0;
    const std::uint8_t base = item.isList ? 0xC0 : 0x80;
    std::size_t header = 1;
    std::size_t length = prefix - base;
    if (length > 55) {
        const std::size_t lengthBytes = length - 55;
        if (lengthBytes > 4 || input.size() < 1 + lengthBytes || input[1] == 0) {
            return std::nullopt;
        }
        length = 0;
        for (std::size_t i = 1; i <= lengthBytes; ++i) {
            length = length << 8 | input[i];
        }
        if (length <= 55) {
            return std::nullopt;
        }
        header += lengthBytes;
    }
    if (input.size() - header < length) {
        return std::nullopt;
    }
    const ByteView payload = input.subspan(header, length);
    if (!item.isList) {
        item.bytes.assign(payload.begin(), payload.end());
        return std::pair(std::move(item), header + length);
    }
    for (std::size_t at = 0; at < payload.size();) {
        std::optional<std::pair<RLPItem, std::size_t>> inner =
            decodeItem(payload.subspan(at), depth + 1);
        if (!inner) {
            return std::nullopt;
        }
        item.items.push_back(std::move(inner->first));
        at += inner->second;
    }
    return std::pair(std::move(item), header + length);
}

} // namespace

Bytes RLP::bigEndianBytes(std::uint64_t value) {
    Bytes out(8);
    for (int i = 7; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
    return out;
}

Bytes RLP::encodeBytes(ByteView bytes) {
    if (bytes.size() == 1 && bytes[0] < 0x80) {
        return Bytes{bytes[0]};
    }
    return lengthPrefixed(0x80, 0xB7, bytes);
}

Bytes RLP::encodeUInt64(std::uint64_t value) {
    if (value == 0) {
        return Bytes{0x80};
    }
    return encodeBytes(withoutLeadingZeros(bigEndianBytes(value)));
}

Bytes RLP::encodeUInt256(const UInt256& value) {
    // Zero has no minimal bytes, so encodeBytes gives 0x80 for it as well.
    return encodeBytes(value.minimalBigEndianBytes());
}

Bytes RLP::encodeList(const std::vector<Bytes>& items) {
    Bytes payload;
    for (const auto& item : items) {
        payload.insert(payload.end(), item.begin(), item.end());
    }
    return lengthPrefixed(0xC0, 0xF7, payload);
}

std::optional<RLPItem> RLP::decode(ByteView input) {
    std::optional<std::pair<RLPItem, std::size_t>> item = decodeItem(input, 0);
    if (!item || item->second != input.size()) {
        return std::nullopt;
    }
    return std::move(item->first);
}

} // namespace qm
