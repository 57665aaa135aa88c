#include "services/solana/SolanaMessage.h"

#include "core/crypto/Base58.h"
#include "core/model/CheckedArithmetic.h"

#include <algorithm>

namespace qm {
namespace {

constexpr std::uint8_t versionFlag = 0x80;
constexpr std::uint64_t microLamportsPerLamport = 1'000'000;

// Reads front to back; every read fails (absent) past the end.
class Reader {
public:
    explicit Reader(ByteView bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_offset == m_bytes.size(); }

    std::optional<std::uint8_t> byte() {
        if (m_offset >= m_bytes.size()) {
            return std::nullopt;
        }
        return m_bytes[m_offset++];
    }

    // A compact-u16 of at most three bytes.
    std::optional<std::size_t> length() {
        std::size_t value = 0;
        for (unsigned shift = 0; shift < 21; shift += 7) {
            const std::optional<std::uint8_t> next = byte();
            if (!next) {
                return std::nullopt;
            }
            value |= static_cast<std::size_t>(*next & 0x7f) << shift;
            if ((*next & 0x80) == 0) {
                return value <= 0xffff ? std::optional(value) : std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<Bytes> bytes(std::size_t count) {
        if (m_bytes.size() - m_offset < count) {
            return std::nullopt;
        }
        const auto start = m_bytes.begin() + static_cast<std::ptrdiff_t>(m_offset);
        m_offset += count;
        return Bytes(start, start + static_cast<std::ptrdiff_t>(count));
    }

    // A compact-u16 count, then that many bytes.
    std::optional<Bytes> list() {
        const std::optional<std::size_t> count = length();
        return count ? bytes(*count) : std::nullopt;
    }

    std::optional<SolanaKey> key() {
        if (m_bytes.size() - m_offset < 32) {
            return std::nullopt;
        }
        SolanaKey out;
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_offset), 32, out.begin());
        m_offset += 32;
        return out;
    }

private:
    ByteView m_bytes;
    std::size_t m_offset = 0;
};

std::uint64_t littleEndian(ByteView bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

const SolanaKey& computeBudgetProgram() {
    static const SolanaKey key = [] {
        const Bytes bytes = *base58Decode("ComputeBudget111111111111111111111111111111");
        SolanaKey out;
        std::copy_n(bytes.begin(), 32, out.begin());
        return out;
    }();
    return key;
}

} // namespace

std::optional<SolanaMessage> SolanaMessage::parse(ByteView bytes) {
    Reader in(bytes);
    SolanaMessage message;
    std::optional<std::uint8_t> first = in.byte();
    if (first && (*first & versionFlag) != 0) {
        if (*first != versionFlag) {
            return std::nullopt;
        }
        message.versioned = true;
        first = in.byte();
    }
    const std::optional<std::uint8_t> readonlySigned = in.byte();
    const std::optional<std::uint8_t> readonlyUnsigned = in.byte();
    const std::optional<std::size_t> keyCount = in.length();
    if (!first || !readonlySigned || !readonlyUnsigned || !keyCount) {
        return std::nullopt;
    }
    message.requiredSignatures = *first;
    message.readonlySigned = *readonlySigned;
    message.readonlyUnsigned = *readonlyUnsigned;
    for (std::size_t i = 0; i < *keyCount; ++i) {
        const std::optional<SolanaKey> key = in.key();
        if (!key) {
            return std::nullopt;
        }
        message.staticKeys.push_back(*key);
    }
    const std::optional<SolanaKey> blockhash = in.key();
    const std::optional<std::size_t> instructionCount = in.length();
    if (!blockhash || !instructionCount) {
        return std::nullopt;
    }
    message.recentBlockhash = *blockhash;
    for (std::size_t i = 0; i < *instructionCount; ++i) {
        Instruction instruction;
        const std::optional<std::uint8_t> program = in.byte();
        std::optional<Bytes> accounts = in.list();
        std::optional<Bytes> data = in.list();
        if (!program || !accounts || !data || *program >= message.staticKeys.size()) {
            return std::nullopt;
        }
        instruction.programIndex = *program;
        instruction.accountIndices = std::move(*accounts);
        instruction.data = std::move(*data);
        message.instructions.push_back(std::move(instruction));
    }
    if (message.versioned) {
        const std::optional<std::size_t> lookupCount = in.length();
        if (!lookupCount) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < *lookupCount; ++i) {
            const std::optional<SolanaKey> table = in.key();
            std::optional<Bytes> writable = in.list();
            std::optional<Bytes> readonly = in.list();
            if (!table || !writable || !readonly) {
                return std::nullopt;
            }
            message.lookups.push_back({*table, std::move(*writable), std::move(*readonly)});
        }
    }
    if (!in.atEnd()) {
        return std::nullopt;
    }
    return message;
}

SolanaFeeBound SolanaFeeBound::of(const SolanaMessage& message) {
    SolanaFeeBound bound;
    bound.signatureFee = lamportsPerSignature * message.requiredSignatures;
    // A second instruction of a kind fails the transaction; the larger value bounds it anyway.
    std::optional<std::uint64_t> unitLimit;
    std::uint64_t unitPrice = 0;
    std::uint64_t otherInstructions = 0;
    for (const SolanaMessage::Instruction& instruction : message.instructions) {
        if (message.staticKeys[instruction.programIndex] != computeBudgetProgram()) {
            ++otherInstructions;
            continue;
        }
        // The runtime reads the value from the front and ignores bytes after it.
        const Bytes& data = instruction.data;
        if (data.size() >= 5 && data[0] == 2) { // SetComputeUnitLimit(u32)
            unitLimit = std::max(unitLimit.value_or(0), littleEndian(ByteView(data).subspan(1, 4)));
        } else if (data.size() >= 9 && data[0] == 3) { // SetComputeUnitPrice(u64 micro-lamports)
            unitPrice = std::max(unitPrice, littleEndian(ByteView(data).subspan(1, 8)));
        }
    }
    const std::uint64_t defaultUnits =
        defaultUnitsPerInstruction *
        std::min(otherInstructions, maxComputeUnits / defaultUnitsPerInstruction);
    const std::uint64_t units = std::min(maxComputeUnits, unitLimit.value_or(defaultUnits));
    // price * units / 10^6 rounded up, without a product wider than 64 bits.
    const std::optional<std::uint64_t> whole =
        checkedMultiply(unitPrice / microLamportsPerLamport, units);
    const std::uint64_t part =
        ((unitPrice % microLamportsPerLamport) * units + microLamportsPerLamport - 1) /
        microLamportsPerLamport;
    bound.priorityFee = whole ? checkedAdd(*whole, part) : std::nullopt;
    return bound;
}

} // namespace qm
