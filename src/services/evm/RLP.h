#pragma once
// Recursive Length Prefix, the Ethereum serialisation of byte strings and
// lists. Only encoding is needed: the wallet writes transactions and never
// reads RLP.

#include "core/crypto/UInt256.h"
#include "platform/Bytes.h"

#include <cstdint>
#include <vector>

namespace qm {

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
};

} // namespace qm
