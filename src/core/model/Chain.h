#pragma once
// The five chains the wallet supports. The declaration order is the order of
// every chain list in the program and the index (0 to 4) of per-chain tables.

#include <array>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

enum class Chain { bitcoin, ethereum, arbitrum, polygon, solana };

inline constexpr std::size_t chainCount = 5;

// The five chains in declaration order (Bitcoin first, Solana last).
const std::array<Chain, chainCount>& allChains();
// 0 to 4, for per-chain tables.
constexpr std::size_t chainIndex(Chain chain) {
    return static_cast<std::size_t>(chain);
}

// The chain whose raw value equals `text` exactly (case-sensitive); absent otherwise.
std::optional<Chain> chainFromRawValue(std::string_view text);
// "bitcoin", "ethereum", "arbitrum", "polygon", "solana": the chain's id, JSON form and file key.
const std::string& rawValue(Chain chain);
// "Bitcoin", "Ethereum", "Arbitrum", "Polygon", "Solana".
const std::string& displayName(Chain chain);
// "BTC", "ETH", "ETH", "POL", "SOL".
const std::string& nativeSymbol(Chain chain);
// Decimal places of the native coin: 8, 18, 18, 18, 9.
int nativeDecimals(Chain chain);
// 1, 42161, 137 for the EVM chains; 0 for Bitcoin and Solana.
std::uint64_t evmChainID(Chain chain);
// The EVM chain whose chain ID is `chainID`; absent for 0 and every other ID.
std::optional<Chain> evmChainWithID(std::uint64_t chainID);
// Ethereum, Arbitrum and Polygon.
bool isEVMChain(Chain chain);

// Account identifier prefix: "btc-", "eth-", "arb-", "poly-", "sol-".
const std::string& accountIDPrefix(Chain chain);
// The chain named by an account identifier's prefix ("eth-0" gives Ethereum); absent otherwise.
std::optional<Chain> chainFromAccountID(std::string_view accountID);

// JSON: the raw value as a string; from_json throws JSONDecodingError for anything else.
void to_json(nlohmann::json& json, Chain chain);
void from_json(const nlohmann::json& json, Chain& chain);

} // namespace qm
