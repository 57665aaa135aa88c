#pragma once
// Bitcoin fee levels of the send flow's fee picker, built from Electrum fee estimates.

#include <cstdint>
#include <string>

namespace qm {

enum class BTCFeeLevel { fast, normal, economy };

struct BTCFeeRate {
    std::uint64_t satPerVByte = 0;
    std::string label;
    std::int64_t estimatedMinutes = 0;
    // Whether a server's estimate gave the rate; false for the level's fallback, a default.
    bool fromServer = false;

    // From "blockchain.estimatefee" (BTC per kilobyte): max(ceil(btcPerKB * 1e8 / 1000), 1)
    // sat/vB with the level's label; an estimate that is not above zero (the server's -1),
    // not a number, or too large for a 64-bit rate gives the level's fallback.
    static BTCFeeRate fromEstimate(BTCFeeLevel level, double btcPerKB);
    static BTCFeeRate fallback(BTCFeeLevel level);

    bool operator==(const BTCFeeRate&) const = default;
};

struct BTCFeeSnapshot {
    BTCFeeRate fast = BTCFeeRate::fallback(BTCFeeLevel::fast);
    BTCFeeRate normal = BTCFeeRate::fallback(BTCFeeLevel::normal);
    BTCFeeRate slow = BTCFeeRate::fallback(BTCFeeLevel::economy);

    bool operator==(const BTCFeeSnapshot&) const = default;
};

// The confirmation target in blocks asked for each level: 1, 3, 6.
int feeTargetBlocks(BTCFeeLevel level);

} // namespace qm
