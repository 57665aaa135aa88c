#pragma once
// The two kinds of swap quote: a Uniswap V3 single-pool quote on the EVM chains, and an order
// of the Solana aggregator (which carries the transaction it built).

#include "core/crypto/UInt256.h"
#include "platform/Bytes.h"
#include "services/swap/SwapToken.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qm {

struct SwapQuote {
    UInt256 amountIn;         // base units of tokenIn, as requested
    UInt256 amountOut;        // base units of tokenOut, the quoter's first word
    UInt256 amountOutMinimum; // amountOut less the slippage tolerance
    SwapToken tokenIn;        // as the caller passed it (native stays native)
    SwapToken tokenOut;
    std::uint64_t fee = 0; // pool tier in hundredths of a basis point
    std::string route;     // "ETH → 0.3% → USDC"

    bool operator==(const SwapQuote&) const = default;
};

struct SolanaSwapQuote {
    std::string inputMint;
    std::string outputMint;
    std::uint64_t inAmount = 0;
    std::uint64_t outAmount = 0;
    // The least the transaction gives: the order's own threshold when minimumIsStated, else
    // only an estimate from the slippage chosen, which nothing on chain enforces.
    std::uint64_t outAmountMinimum = 0;
    bool minimumIsStated = false;
    std::optional<double> priceImpactPct;
    std::string routePlan = "Jupiter Ultra";
    Bytes rawQuoteJSON; // the order response body as received
    std::optional<std::string> requestId;
    std::optional<std::string> transactionBase64;

    bool operator==(const SolanaSwapQuote&) const = default;
};

} // namespace qm
