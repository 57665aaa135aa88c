#pragma once
// One side of a swap: an ERC-20 contract or SPL mint, or the chain's own coin.

#include "core/model/Chain.h"

#include <cstdint>
#include <string>

namespace qm {

struct SwapToken {
    std::string symbol;
    // EVM: "0x" and 40 hex digits in any letter case; Solana: the mint; native coin: "native".
    std::string address;
    std::int64_t decimals = 0;
    bool isNative = false;

    // Exact on every field: the same contract written in two letter cases is two tokens.
    bool operator==(const SwapToken&) const = default;

    // The placeholder of `chain`'s own coin: its symbol and decimals, address "native".
    static SwapToken native(Chain chain);
};

// The address a contract call uses for `token`: the chain's wrapped-native contract for the
// native side, else the token's own address.
const std::string& contractAddress(const SwapToken& token, Chain chain);

} // namespace qm
