#pragma once
// Prices on Ethereum, Arbitrum and Polygon from the Uniswap V3 QuoterV2 contract: a read-only
// eth_call of quoteExactInputSingle per fee tier, one tier after another. It quotes swaps and
// values ERC-20 balances in US dollars (one whole token against the chain's USDC).

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "core/model/Token.h"
#include "platform/Bytes.h"
#include "platform/async/CancellationToken.h"
#include "services/swap/SwapQuote.h"
#include "services/swap/SwapToken.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class JSONRPCClient;

// The order of trial (not sorted): 0.3 %, 1 %, 0.05 %, 0.01 %.
inline constexpr std::array<std::uint64_t, 4> swapFeeTiers = {3000, 10000, 500, 100};
inline constexpr std::array<std::uint64_t, 4> priceFeeTiers = swapFeeTiers;

// "quoteExactInputSingle((address,address,uint256,uint24,uint160))": c6a5026a.
const Bytes& quoteExactInputSingleSelector();

// 164 bytes: the selector, then tokenIn, tokenOut, amountIn, fee and a zero price limit as
// 32-byte words. Addresses must be 20 bytes (any other length stops the process).
Bytes quoterCalldata(ByteView tokenIn, ByteView tokenOut, const UInt256& amountIn,
                     std::uint64_t fee);

// floor(amountOut * (10000 - slippageBps) / 10000), exact over all 256 bits; the slippage is
// taken within 0 ... 10000.
UInt256 minimumAmountOut(const UInt256& amountOut, std::int64_t slippageBps);

// The first tier (in swapFeeTiers order) whose quote is a non-zero amount. Native sides are
// quoted as the chain's wrapped coin and stay native in the result. Throws SwapError
// invalidToken (an address that is not 20 hex bytes, before any request) or noLiquidity (no
// tier answered a non-zero amount, whatever the reason). When `cancel` is cancelled, the
// failure of the request it aborted is thrown instead.
QCoro::Task<SwapQuote> uniswapQuote(SwapToken tokenIn, SwapToken tokenOut, UInt256 amountIn,
                                    std::int64_t slippageBps, Chain chain,
                                    std::shared_ptr<JSONRPCClient> client,
                                    CancellationToken cancel = {});

// US dollars per whole `token`: 1 for the chain's USDC and the listed stablecoins (no request),
// else the quote of 10^decimals base units against USDC. None when no tier quotes (no pool),
// the chain has no USDC, the address is unusable, 10^decimals does not fit 256 bits, or on
// cancellation. Throws the node's failure when it answered none of the calls (unreachable).
QCoro::Task<std::optional<double>> quoteUSDPrice(Token token, std::shared_ptr<JSONRPCClient> client,
                                                 CancellationToken cancel = {});

} // namespace qm
