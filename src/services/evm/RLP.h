#pragma once
// Recursive Length Prefix, the Ethereum serialisation of byte strings and
// lists. The wallet writes transactions, and reads back only the ones it signed
// (their fees, when a new one must replace them).

#include "core/crypto/UInt256.h"
#include "platform/Bytes.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace qm {

// One decoded item: a byte string, or a list of items.
struct RLPItem {
    bool isList = false;
    Bytes bytes;
    std::vector<RLPItem> items;
};

struct RLP {
    // The 8 bytes of `value`, most significant first, leading zeros kept.
    static Bytes bigEndianBytes(std::uint64_t value);
    // A byte string: a single byte below 0x80 is itself, else a length prefix and
    // the bytes.
    static Bytes encodeBytes(ByteView bytes);
    // An integer: zero is 0x80, otherwise its minimal big-endian bytes as a byte
    // string.
    static Bytes encodeUInt64(std::uint64_t value);
    static Bytes encodeUInt256(const UInt256& value);
    // A list of items that are already encoded.
    static Bytes encodeList(const std::vector<Bytes>& items);

    // `input` read as exactly one item, lists nested at most 8 deep; none for anything else
    // (a length past the input, bytes left over, a length written in more bytes than needed).
    static std::optional<RLPItem> decode(ByteView input);
};

} // namespace qm
