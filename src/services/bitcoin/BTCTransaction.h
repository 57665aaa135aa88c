#pragma once
// The Bitcoin transaction the send flow builds and the signer updates.

#include "platform/Bytes.h"

#include <cstdint>
#include <vector>

namespace qm {

struct BTCTxInput {
    Bytes txHash; // 32 bytes in wire order (reverse of the displayed hex)
    std::uint32_t outputIndex = 0;
    std::uint32_t sequence = 0xFFFFFFFD;
    std::vector<Bytes> witness; // empty until signed

    bool operator==(const BTCTxInput&) const = default;
};

struct BTCTxOutput {
    std::uint64_t value = 0; // satoshis
    Bytes scriptPubKey;

    bool operator==(const BTCTxOutput&) const = default;
};

struct BTCUnsignedTransaction {
    std::uint32_t version = 2;
    std::vector<BTCTxInput> inputs;
    std::vector<BTCTxOutput> outputs;
    std::uint32_t lockTime = 0;

    bool operator==(const BTCUnsignedTransaction&) const = default;
};

} // namespace qm
