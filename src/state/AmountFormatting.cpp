#include "state/AmountFormatting.h"

#include <algorithm>

namespace qm {

std::string formatTokenAmount(std::string_view amount, std::int64_t decimals) {
    if (decimals < 0 || decimals > Amount::maxDecimals) {
        return "0";
    }
    try {
        // Base units are whole: read with no decimals, a fraction is refused.
        const UInt256 value = Amount::parse(amount, 0).value;
        return Amount{value, static_cast<unsigned>(decimals)}.listNumberText();
    } catch (const AmountError&) {
        return "0";
    }
}

std::string nativeBalanceText(Chain chain, const UInt256& baseUnits) {
    unsigned digits = 6;
    if (chain == Chain::bitcoin) {
        digits = 8;
    } else if (chain == Chain::solana) {
        digits = 4;
    }
    const Amount amount{baseUnits, static_cast<unsigned>(nativeDecimals(chain))};
    return amount.fixedText(digits) + ' ' + nativeSymbol(chain);
}

Amount tokenBalanceAmount(const TokenBalance& balance) {
    return {UInt256::fromHex(balance.balance).value_or(UInt256()),
            static_cast<unsigned>(
                std::clamp<std::int64_t>(balance.token.decimals, 0, Amount::maxDecimals))};
}

} // namespace qm
