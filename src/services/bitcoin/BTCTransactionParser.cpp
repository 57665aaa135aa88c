#include "services/bitcoin/BTCTransactionParser.h"

#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"
#include "core/encoding/Hex.h"
#include "platform/Crypto.h"

#include <algorithm>
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

// Reads front to back as a node deserialises: every read fails (false, absent) past the end
// of the data, and a CompactSize must be written in its shortest form.
class StrictReader {
public:
    explicit StrictReader(ByteView data) : m_data(data) {}

    std::size_t offset() const { return m_offset; }
    bool atEnd() const { return m_offset == m_data.size(); }
    std::optional<std::uint8_t> peek(std::size_t ahead) const {
        if (ahead >= m_data.size() - m_offset) {
            return std::nullopt;
        }
        return m_data[m_offset + ahead];
    }
    std::optional<ByteView> bytes(std::uint64_t count) {
        if (count > m_data.size() - m_offset) {
            return std::nullopt;
        }
        const ByteView read = m_data.subspan(m_offset, static_cast<std::size_t>(count));
        m_offset += static_cast<std::size_t>(count);
        return read;
    }
    std::optional<std::uint64_t> littleEndian(std::size_t width) {
        const std::optional<ByteView> read = bytes(width);
        if (!read) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            value |= static_cast<std::uint64_t>((*read)[i]) << (8 * i);
        }
        return value;
    }
    std::optional<std::uint64_t> compactSize() {
        const std::optional<std::uint64_t> first = littleEndian(1);
        if (!first || *first < 0xFD) {
            return first;
        }
        const std::size_t width = *first == 0xFD ? 2 : *first == 0xFE ? 4 : 8;
        const std::optional<std::uint64_t> value = littleEndian(width);
        // A longer form than the value needs is another encoding of the same transaction:
        // nodes refuse it, and it would hash to another id.
        const std::uint64_t least = width == 2 ? 0xFD : width == 4 ? 0x10000 : 0x100000000;
        if (!value || *value < least) {
            return std::nullopt;
        }
        return value;
    }
    // A length, then that many bytes.
    std::optional<Bytes> list() {
        const std::optional<std::uint64_t> length = compactSize();
        const std::optional<ByteView> read = length ? bytes(*length) : std::nullopt;
        if (!read) {
            return std::nullopt;
        }
        return Bytes(read->begin(), read->end());
    }

private:
    ByteView m_data;
    std::size_t m_offset = 0;
};

// The display form of 32 bytes in wire order: byte-reversed, in lowercase hex.
std::string displayedHash(ByteView wire) {
    Bytes hash(wire.begin(), wire.end());
    std::reverse(hash.begin(), hash.end());
    return bytesToPlainHex(hash);
}

// The inputs, then the outputs, of `data` (counts included), into `read`. False on anything
// that is not there whole; each loop ends at the first read past the data, whatever count the
// data claims.
bool readBody(StrictReader& in, BTCTransactionParser::Transaction& read) {
    const std::optional<std::uint64_t> inputs = in.compactSize();
    if (!inputs || *inputs == 0) {
        return false;
    }
    for (std::uint64_t i = 0; i < *inputs; ++i) {
        const std::optional<ByteView> hash = in.bytes(32);
        const std::optional<std::uint64_t> index = hash ? in.littleEndian(4) : std::nullopt;
        std::optional<Bytes> script = index ? in.list() : std::nullopt;
        const std::optional<std::uint64_t> sequence = script ? in.littleEndian(4) : std::nullopt;
        if (!sequence) {
            return false;
        }
        read.body.inputs.push_back({Bytes(hash->begin(), hash->end()),
                                    static_cast<std::uint32_t>(*index),
                                    static_cast<std::uint32_t>(*sequence),
                                    {}});
        read.signatureScripts.push_back(std::move(*script));
    }
    const std::optional<std::uint64_t> outputs = in.compactSize();
    if (!outputs || *outputs == 0) {
        return false;
    }
    for (std::uint64_t i = 0; i < *outputs; ++i) {
        const std::optional<std::uint64_t> value = in.littleEndian(8);
        std::optional<Bytes> script = value ? in.list() : std::nullopt;
        if (!script) {
            return false;
        }
        read.body.outputs.push_back({*value, std::move(*script)});
    }
    return true;
}

// Each input's witness stack, in input order. False on anything that is not there whole, and
// when every stack is empty: the marker then announces witnesses there are none of.
bool readWitnesses(StrictReader& in, BTCTransactionParser::Transaction& read) {
    bool any = false;
    for (BTCTxInput& input : read.body.inputs) {
        const std::optional<std::uint64_t> items = in.compactSize();
        if (!items) {
            return false;
        }
        for (std::uint64_t item = 0; item < *items; ++item) {
            std::optional<Bytes> bytes = in.list();
            if (!bytes) {
                return false;
            }
            input.witness.push_back(std::move(*bytes));
        }
        any = any || !input.witness.empty();
    }
    return any;
}

} // namespace

std::vector<std::string> BTCTransactionParser::Transaction::outpoints() const {
    std::vector<std::string> out;
    out.reserve(body.inputs.size());
    for (const BTCTxInput& input : body.inputs) {
        out.push_back(displayedHash(input.txHash) + ":" + std::to_string(input.outputIndex));
    }
    return out;
}

std::optional<BTCTransactionParser::Transaction>
BTCTransactionParser::transaction(std::string_view hex) {
    const std::optional<Bytes> bytes = hexToBytes(hex);
    if (!bytes) {
        return std::nullopt;
    }
    const ByteView data(*bytes);
    StrictReader in(data);
    Transaction read;
    const std::optional<std::uint64_t> version = in.littleEndian(4);
    if (!version) {
        return std::nullopt;
    }
    read.body.version = static_cast<std::uint32_t>(*version);
    // A zero where the input count would be is the segwit marker, and its flag must be 1 (a
    // transaction of no inputs is none).
    const bool segwit = in.peek(0) == std::uint8_t{0};
    if (segwit && (in.peek(1) != std::uint8_t{1} || !in.bytes(2))) {
        return std::nullopt;
    }
    const std::size_t bodyStart = in.offset();
    if (!readBody(in, read)) {
        return std::nullopt;
    }
    const std::size_t bodyEnd = in.offset();
    if (segwit && !readWitnesses(in, read)) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> lockTime = in.littleEndian(4);
    if (!lockTime || !in.atEnd()) { // nothing after the lock time
        return std::nullopt;
    }
    read.body.lockTime = static_cast<std::uint32_t>(*lockTime);
    Bytes stripped(data.begin(), data.begin() + 4);
    stripped.insert(stripped.end(), data.begin() + static_cast<std::ptrdiff_t>(bodyStart),
                    data.begin() + static_cast<std::ptrdiff_t>(bodyEnd));
    stripped.insert(stripped.end(), data.end() - 4, data.end());
    read.id = displayedHash(crypto::sha256(crypto::sha256(stripped)));
    return read;
}

std::optional<BTCTransactionParser::Spending> BTCTransactionParser::spending(std::string_view hex) {
    std::optional<Transaction> read = transaction(hex);
    if (!read) {
        return std::nullopt;
    }
    return Spending{std::move(read->id), read->outpoints()};
}

std::optional<std::string> BTCTransactionParser::transactionID(std::string_view hex) {
    std::optional<Transaction> read = transaction(hex);
    if (!read) {
        return std::nullopt;
    }
    return std::move(read->id);
}

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
