#include "services/bitcoin/BTCFeeRate.h"

#include <cmath>

namespace qm {

BTCFeeRate BTCFeeRate::fallback(BTCFeeLevel level) {
    switch (level) {
    case BTCFeeLevel::fast:
        return {20, "Fast", 10};
    case BTCFeeLevel::normal:
        return {5, "Normal", 30};
    case BTCFeeLevel::economy:
        break;
    }
    return {1, "Slow", 60};
}

BTCFeeRate BTCFeeRate::fromEstimate(BTCFeeLevel level, double btcPerKB) {
    // Multiply first, then divide: 0.00001 BTC/kB gives 2 sat/vB, as the double product
    // lands just above 1000.
    const double computed = std::max(std::ceil(btcPerKB * 100'000'000.0 / 1000.0), 1.0);
    // 2^64 as a double; anything at or above it (or infinite) is no usable rate.
    constexpr double kLimit = 18446744073709551616.0;
    if (!(btcPerKB > 0) || !std::isfinite(computed) || computed >= kLimit) {
        return fallback(level);
    }
    const auto rate = static_cast<std::uint64_t>(computed);
    switch (level) {
    case BTCFeeLevel::fast:
        return {rate, "Fast (~10 min)", 10, true};
    case BTCFeeLevel::normal:
        return {rate, "Normal (~30 min)", 30, true};
    case BTCFeeLevel::economy:
        break;
    }
    return {rate, "Economy (~60 min)", 60, true};
}

int feeTargetBlocks(BTCFeeLevel level) {
    switch (level) {
    case BTCFeeLevel::fast:
        return 1;
    case BTCFeeLevel::normal:
        return 3;
    case BTCFeeLevel::economy:
        break;
    }
    return 6;
}

} // namespace qm
