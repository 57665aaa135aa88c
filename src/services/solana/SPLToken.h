#pragma once
// SPL token holdings as the wallet shows them, and the compiled-in list of well-known mints
// that names them.

#include "services/solana/SolanaRPCTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

struct SPLTokenList {
    struct TokenInfo {
        std::string symbol;
        std::string name;
        std::string mint;
        std::uint8_t decimals = 0;
    };

    // USDC, USDT, Wrapped SOL, BONK, JUP, RAY, PYTH, in that order.
    static const std::array<TokenInfo, 7>& knownTokens();
    // The first known token whose mint equals `mint` exactly (case-sensitive); else absent.
    static std::optional<TokenInfo> token(std::string_view mint);
};

// One holding; its identity is its mint.
struct SPLTokenBalance {
    std::string mint;
    std::string symbol;
    std::string name;
    std::uint8_t decimals = 0;
    std::uint64_t amount = 0; // base units
    std::optional<double> priceUSD;

    // The holding of a token account: the amount read as an unsigned 64-bit decimal (0 when it
    // does not read), named from SPLTokenList or "?" and the mint's first 8 characters + "...",
    // decimals from the account. Absent when the amount is 0.
    static std::optional<SPLTokenBalance> fromAccount(const SPLTokenAccountInfo& account);

    // "0 SYM", or the whole-token amount with 6 (below 0.01), 4 (below 1000) or 2 decimals and
    // the symbol; always with a "." whatever the user's locale.
    std::string formattedAmount() const;
};

} // namespace qm
