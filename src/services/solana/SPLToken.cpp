#include "services/solana/SPLToken.h"

#include "core/model/Amount.h"

#include <charconv>

namespace qm {

const std::array<SPLTokenList::TokenInfo, 7>& SPLTokenList::knownTokens() {
    static const std::array<TokenInfo, 7> tokens{{
        {"USDC", "USD Coin", "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v", 6},
        {"USDT", "Tether USD", "Es9vMFrzaCERmJfrF4H2FYD4KCoNkY11McCe8BenwNYB", 6},
        {"SOL", "Wrapped SOL", "So11111111111111111111111111111111111111112", 9},
        {"BONK", "Bonk", "DezXAZ8z7PnrnRJjz3wXBoRgixCa6xjnB7YaB1pPB263", 5},
        {"JUP", "Jupiter", "JUPyiwrYJFskUPiHa7hkeR8VUtAeFoSYbKedZNsDvCN", 6},
        {"RAY", "Raydium", "4k3Dyjzvzp8eMZWUXbBCjEvwSkkk59S5iCNLY3QrkX6R", 6},
        {"PYTH", "Pyth Network", "HZ1JovNiVvGrGNiiYvEozEVgZ58xaU3RKwX8eACQBCt3", 6},
    }};
    return tokens;
}

std::optional<SPLTokenList::TokenInfo> SPLTokenList::token(std::string_view mint) {
    for (const auto& info : knownTokens()) {
        if (info.mint == mint) {
            return info;
        }
    }
    return std::nullopt;
}

std::optional<SPLTokenBalance> SPLTokenBalance::fromAccount(const SPLTokenAccountInfo& account) {
    std::uint64_t amount = 0;
    const char* first = account.amount.data();
    const char* last = first + account.amount.size();
    const auto [end, error] = std::from_chars(first, last, amount);
    if (account.amount.empty() || error != std::errc() || end != last) {
        amount = 0;
    }
    if (amount == 0) {
        return std::nullopt;
    }
    SPLTokenBalance balance;
    balance.mint = account.mint;
    if (const auto known = SPLTokenList::token(account.mint)) {
        balance.symbol = known->symbol;
        balance.name = known->name;
    } else {
        // Moved in, not assigned from the literal: gcc 12 warns falsely (-Wrestrict) there.
        balance.symbol = std::string("?");
        balance.name = account.mint.substr(0, 8) + "...";
    }
    balance.decimals = account.decimals;
    balance.amount = amount;
    return balance;
}

std::string SPLTokenBalance::formattedAmount() const {
    return Amount{UInt256(0, 0, 0, amount), decimals}.exactAmountText(symbol);
}

} // namespace qm
