#include "services/bitcoin/BTCTransactionParser.h"

#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"
#include "platform/Crypto.h"

#include <charconv>

namespace qm {

namespace {

// Reads a CompactSize at pos and advances past it; 0 (advancing one byte past the prefix)
// when its bytes are not all there, 0 without moving at the end of the data.
std::uint64_t readCompactSize(ByteView data, std::size_t& pos) {
    if (pos >= data.size()) {
        return 0;
    }
    const std::uint8_t first = data[pos];
    if (first < 0xFD) {
        ++pos;
        return first;
    }
    const std::size_t width = first == 0xFD ? 2 : first == 0xFE ? 4 : 8;
    ++pos;
    if (width > data.size() - pos) {
        return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= static_cast<std::uint64_t>(data[pos + i]) << (8 * i);
    }
    pos += width;
    return value;
}

std::uint64_t readUInt64(ByteView data, std::size_t pos) {
    if (pos > data.size() || 8 > data.size() - pos) {
        return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(data[pos + i]) << (8 * i);
    }
    return value;
}

} // namespace

Bytes BTCTransactionParser::lenientHexToBytes(std::string_view hex) {
    Bytes out;
    out.reserve(hex.size() / 2 + 1);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const std::string_view piece = hex.substr(i, 2);
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(piece.data(), piece.data() + piece.size(), value, 16);
        // The whole piece must be hex: "a" + junk is a piece that does not parse.
        if (error == std::errc() && end == piece.data() + piece.size()) {
            out.push_back(static_cast<std::uint8_t>(value));
        }
    }
    return out;
}

std::string BTCTransactionParser::base58Check(std::uint8_t version, ByteView hash) {
    Bytes payload;
    payload.reserve(1 + hash.size() + 4);
    payload.push_back(version);
    payload.insert(payload.end(), hash.begin(), hash.end());
    const Bytes checksum = crypto::sha256(crypto::sha256(payload));
    payload.insert(payload.end(), checksum.begin(), checksum.begin() + 4);
    return base58Encode(payload);
}

std::optional<std::string> BTCTransactionParser::address(ByteView s) {
    if (s.size() == 25 && s[0] == 0x76 && s[1] == 0xA9 && s[2] == 0x14) {
        return base58Check(0x00, s.subspan(3, 20));
    }
    if (s.size() == 23 && s[0] == 0xA9 && s[1] == 0x14) {
        return base58Check(0x05, s.subspan(2, 20));
    }
    if (s.size() == 22 && s[0] == 0x00 && s[1] == 0x14) {
        return segwitAddressEncode("bc", 0, s.subspan(2, 20));
    }
    if (s.size() == 34 && s[0] == 0x00 && s[1] == 0x20) {
        return segwitAddressEncode("bc", 0, s.subspan(2, 32));
    }
    if (s.size() == 34 && s[0] == 0x51 && s[1] == 0x20) {
        return segwitAddressEncode("bc", 1, s.subspan(2, 32));
    }
    return std::nullopt;
}

std::vector<BTCTransactionParser::ParsedOutput>
BTCTransactionParser::parseOutputs(std::string_view hex) {
    const Bytes bytes = lenientHexToBytes(hex);
    const ByteView data(bytes);
    if (data.size() < 11) {
        return {};
    }
    std::size_t pos = 4;
    if (data[4] == 0x00 && data[5] == 0x01) {
        pos = 6;
    }
    // Every bounds check is written as `length > size - pos` (pos never passes size), so a
    // length near 2^64 cannot wrap it.
    const std::uint64_t inputCount = readCompactSize(data, pos);
    for (std::uint64_t i = 0; i < inputCount; ++i) {
        if (36 > data.size() - pos) {
            return {};
        }
        pos += 36;
        const std::uint64_t scriptLength = readCompactSize(data, pos);
        if (scriptLength > data.size() - pos || 4 > data.size() - pos - scriptLength) {
            return {}; // the input section runs past the data
        }
        pos += scriptLength + 4;
    }
    const std::uint64_t outputCount = readCompactSize(data, pos);
    if (outputCount == 0) {
        return {};
    }
    std::vector<ParsedOutput> outputs;
    for (std::uint64_t i = 0; i < outputCount; ++i) {
        if (8 > data.size() - pos) {
            return outputs;
        }
        const std::uint64_t value = readUInt64(data, pos);
        pos += 8;
        const std::uint64_t scriptLength = readCompactSize(data, pos);
        if (scriptLength > data.size() - pos) {
            return outputs;
        }
        const ByteView script = data.subspan(pos, scriptLength);
        pos += scriptLength;
        outputs.push_back({value, address(script)});
    }
    return outputs;
}

} // namespace qm
