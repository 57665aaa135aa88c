#include "state/refresh/BitcoinTransactionInputs.h"

#include <cstddef>

namespace qm {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

class Reader {
public:
    explicit Reader(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    bool take(std::size_t count, const std::uint8_t*& out) {
        if (count > m_bytes.size() - m_offset) {
            return false;
        }
        out = m_bytes.data() + m_offset;
        m_offset += count;
        return true;
    }
    bool skip(std::uint64_t count) {
        if (count > m_bytes.size() - m_offset) {
            return false;
        }
        m_offset += static_cast<std::size_t>(count);
        return true;
    }
    std::optional<std::uint64_t> littleEndian(std::size_t width) {
        const std::uint8_t* bytes = nullptr;
        if (!take(width, bytes)) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (std::size_t i = width; i-- > 0;) {
            value = (value << 8) | bytes[i];
        }
        return value;
    }
    std::optional<std::uint64_t> compactSize() {
        const std::optional<std::uint64_t> first = littleEndian(1);
        if (!first) {
            return std::nullopt;
        }
        switch (*first) {
        case 0xfd:
            return littleEndian(2);
        case 0xfe:
            return littleEndian(4);
        case 0xff:
            return littleEndian(8);
        default:
            return first;
        }
    }
    std::optional<std::uint8_t> peek(std::size_t ahead) const {
        if (ahead >= m_bytes.size() - m_offset) {
            return std::nullopt;
        }
        return m_bytes[m_offset + ahead];
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_offset = 0;
};

constexpr std::size_t outPointHashBytes = 32;
// The smallest input: out-point, an empty script and the sequence.
constexpr std::uint64_t minimumInputBytes = outPointHashBytes + 4 + 1 + 4;

} // namespace

std::optional<std::vector<BitcoinOutPoint>> parseSpentOutputs(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigit(hex[i]);
        const int low = hexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    const std::size_t total = bytes.size();
    Reader reader(std::move(bytes));
    if (!reader.skip(4)) { // version
        return std::nullopt;
    }
    // Segwit: a zero marker where the input count would be, then flag 1.
    if (reader.peek(0) == std::uint8_t{0} && reader.peek(1) == std::uint8_t{1}) {
        reader.skip(2);
    }
    const std::optional<std::uint64_t> count = reader.compactSize();
    // Each input needs at least 41 bytes: a count beyond that is garbage, not an allocation.
    if (!count || *count > total / minimumInputBytes) {
        return std::nullopt;
    }
    std::vector<BitcoinOutPoint> spent;
    spent.reserve(static_cast<std::size_t>(*count));
    static constexpr char digits[] = "0123456789abcdef";
    for (std::uint64_t input = 0; input < *count; ++input) {
        const std::uint8_t* hash = nullptr;
        if (!reader.take(outPointHashBytes, hash)) {
            return std::nullopt;
        }
        const std::optional<std::uint64_t> index = reader.littleEndian(4);
        const std::optional<std::uint64_t> scriptLength = reader.compactSize();
        if (!index || !scriptLength || !reader.skip(*scriptLength) || !reader.skip(4)) {
            return std::nullopt;
        }
        BitcoinOutPoint point;
        point.outputIndex = static_cast<std::uint32_t>(*index);
        point.txHash.reserve(outPointHashBytes * 2);
        for (std::size_t i = outPointHashBytes; i-- > 0;) {
            point.txHash.push_back(digits[hash[i] >> 4]);
            point.txHash.push_back(digits[hash[i] & 0x0f]);
        }
        spent.push_back(std::move(point));
    }
    return spent;
}

} // namespace qm
