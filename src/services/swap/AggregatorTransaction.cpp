#include "services/swap/AggregatorTransaction.h"

#include "platform/Error.h"
#include "services/swap/SwapError.h"

#include <algorithm>
#include <optional>

namespace qm {
namespace {

constexpr std::size_t signatureLength = 64;
constexpr std::size_t keyLength = 32;
constexpr std::uint8_t versionFlag = 0x80;

[[noreturn]] void invalidFormat() {
    throw SwapError::transactionFailed("Invalid TX format");
}

// A compact-u16 at `offset`, moving the offset past it; none when it runs off the end or is
// longer than three bytes.
std::optional<std::size_t> readCompactU16(ByteView bytes, std::size_t& offset) {
    std::size_t value = 0;
    for (unsigned shift = 0; shift < 21; shift += 7) {
        if (offset >= bytes.size()) {
            return std::nullopt;
        }
        const std::uint8_t byte = bytes[offset++];
        value |= static_cast<std::size_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            return value <= 0xffff ? std::optional(value) : std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

AggregatorTransaction AggregatorTransaction::parse(Bytes wire, ByteView taker) {
    if (wire.empty()) {
        throw SwapError::transactionFailed("Empty TX");
    }
    // One byte of count: larger counts never occur in an aggregator's transactions.
    const std::size_t slots = wire[0];
    if (slots == 0 || slots >= 0x80) {
        invalidFormat();
    }
    std::size_t offset = 1 + slots * signatureLength;
    const ByteView bytes(wire);
    if (offset >= bytes.size()) {
        invalidFormat();
    }
    // A versioned message starts with 0x80 | version; only version 0 exists.
    if ((bytes[offset] & versionFlag) != 0) {
        if (bytes[offset] != versionFlag) {
            invalidFormat();
        }
        ++offset;
    }
    // Header: required signatures, read-only signed, read-only unsigned; then the accounts.
    if (offset + 3 > bytes.size() || bytes[offset] != slots) {
        invalidFormat();
    }
    offset += 3;
    const std::optional<std::size_t> accounts = readCompactU16(bytes, offset);
    if (!accounts || *accounts < slots || offset + keyLength > bytes.size() ||
        bytes.size() - offset < *accounts * keyLength) {
        invalidFormat();
    }
    if (taker.size() != keyLength ||
        !std::equal(taker.begin(), taker.end(), bytes.begin() + static_cast<long>(offset))) {
        invalidFormat();
    }
    return AggregatorTransaction(std::move(wire), slots);
}

ByteView AggregatorTransaction::message() const {
    return ByteView(m_wire).subspan(1 + m_slots * signatureLength);
}

Bytes AggregatorTransaction::withTakerSignature(ByteView signature) const {
    if (signature.size() != signatureLength) {
        fatalError("an Ed25519 signature is 64 bytes");
    }
    Bytes signed_ = m_wire;
    std::copy(signature.begin(), signature.end(), signed_.begin() + 1);
    return signed_;
}

} // namespace qm
