#pragma once
// Holdings for the portfolio's window tests and bench: token balances, and a derived wallet's
// accounts given balances, tokens and prices in place, as a refresh would.

#include "state/AppState.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qm::test {

// An ERC-20 holding of `amount` base units (6 decimals).
TokenBalance evmToken(std::string address, std::string symbol, std::string name,
                      std::uint64_t amount, std::optional<double> price);
// An SPL holding of `amount` base units.
SPLTokenBalance splToken(std::string mint, std::string symbol, std::string name,
                         std::uint8_t decimals, std::uint64_t amount, std::optional<double> price);

// Gives the first account of every chain a balance and `tokensPerAccount` tokens (Ethereum,
// Arbitrum, Polygon and Solana; every third one without a price), and sets the prices of the
// five chains. The accounts must have been derived (an unlocked wallet).
void giveHoldings(AppState& state, std::size_t tokensPerAccount);

} // namespace qm::test
