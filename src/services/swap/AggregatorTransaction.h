#pragma once
// The transaction a swap aggregator builds for the wallet: the Solana wire form (a signature
// count, that many 64-byte slots, then the message), legacy or versioned. The wallet signs it
// only after reading the message's header: the slots must be exactly the signatures the message
// requires, at least one, and the first signer (the fee payer, whose slot is the first) must be
// the wallet's own key. Otherwise the signature would land on message bytes, or sign for
// somebody else.

#include "platform/Bytes.h"

#include <cstddef>

namespace qm {

class AggregatorTransaction {
public:
    // Reads `wire` for the wallet key `taker` (32 bytes). Throws SwapError transactionFailed
    // "Empty TX" for no bytes and "Invalid TX format" for anything else that is not as above
    // (a count of 128 or more, a truncated message, a version other than 0, a count that differs
    // from the header's, a first account that is not `taker`).
    static AggregatorTransaction parse(Bytes wire, ByteView taker);

    // The bytes the signatures cover.
    ByteView message() const;
    // The number of signature slots.
    std::size_t slotCount() const { return m_slots; }
    // The wire form with `signature` (64 bytes, else the process stops) in the first slot; every
    // other byte as it came.
    Bytes withTakerSignature(ByteView signature) const;

private:
    AggregatorTransaction(Bytes wire, std::size_t slots)
        : m_wire(std::move(wire)), m_slots(slots) {}

    Bytes m_wire;
    std::size_t m_slots;
};

} // namespace qm
