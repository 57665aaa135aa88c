#pragma once
// The fee level the user picked ("Economy", "Normal", "Priority") and what it means on each
// chain family: Bitcoin's estimate target, the EVM fee cap's and tip's factors.

#include "services/bitcoin/BTCFeeRate.h"

#include <cstdint>

namespace qm {

enum class SendFeeLevel { slow, normal, fast };

// Bitcoin's level for the estimate: slow is economy (6 blocks), normal 3, fast 1.
BTCFeeLevel btcFeeLevel(SendFeeLevel level);

// What a fee level multiplies: the gas price times 1, 2 or 3 (economy, normal, priority) is
// the fee cap, the priority fee times 1, 1 or 2 the tip (then capped at the fee cap).
struct EVMFeeFactors {
    std::uint64_t feeCap = 1;
    std::uint64_t tip = 1;
};
EVMFeeFactors evmFeeFactors(SendFeeLevel level);

} // namespace qm
