#pragma once
// The fixed tables of EVM swaps: the tokens offered per chain, the wrapped native coin and the
// USDC contract per chain, the stablecoins valued at one dollar, and the Uniswap V3 contracts
// (the same address on Ethereum, Arbitrum and Polygon).

#include "core/model/Chain.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm {

namespace EVMSwapTokens {

struct TokenDef {
    std::string symbol;
    std::string name;
    std::string address; // EIP-55 mixed case
    std::int64_t decimals = 0;
};

// The chain's list in table order; empty for Bitcoin and Solana.
const std::vector<TokenDef>& tokens(Chain chain);

} // namespace EVMSwapTokens

inline const std::string uniswapQuoterAddress = "0x61fFE014bA17989E743c5F6cB21bF9697530B21e";
inline const std::string uniswapRouterAddress = "0x68b3465833fb72A70ecDF485E0e4C7bD8665Fc45";
inline const std::string wrappedSOLMint = "So11111111111111111111111111111111111111112";

// The wrapped-native contract of Ethereum, Arbitrum or Polygon; any other chain stops the
// process (callers pass EVM chains only).
const std::string& wrappedNativeAddress(Chain chain);

// The chain's USDC contract, the quote currency of token prices; none for Bitcoin and Solana.
std::optional<std::string> usdcAddress(Chain chain);

// Further contracts priced at exactly one dollar whatever the chain: bridged USDC, USDT, DAI.
const std::array<std::vector<std::string>, 3>& stablecoinAddresses();

// "0.01%", "0.05%", "0.3%", "1%" for the standard tiers; any other tier as fee / 10000 in its
// shortest decimal form and "%" (2500 gives "0.25%").
std::string feeTierLabel(std::uint64_t fee);

} // namespace qm
