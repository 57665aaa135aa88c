#pragma once
// The SwapRouter02 call of a Uniswap V3 quote: always a single-pool exact-input swap. A swap
// to the native coin leaves the wrapped coin in the router and unwraps it to the user in the
// same transaction (multicall with a deadline).

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "platform/Bytes.h"
#include "services/swap/SwapQuote.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace qm {

// "exactInputSingle((address,address,uint24,address,uint256,uint256,uint160))": 04e45aaf.
const Bytes& exactInputSingleSelector();
// "multicall(uint256,bytes[])": 5ae401dc.
const Bytes& multicallSelector();
// "unwrapWETH9(uint256,address)": 49404b7c.
const Bytes& unwrapWETH9Selector();

// The router's name for itself as a recipient: the address 0x…02.
const Bytes& routerSelfRecipient();

// 228 bytes: the selector and seven words (tokenIn, tokenOut, fee, recipient, amountIn,
// amountOutMinimum, a zero price limit). Addresses must be 20 bytes (else the process stops).
Bytes exactInputSingleCalldata(ByteView tokenIn, ByteView tokenOut, std::uint64_t fee,
                               ByteView recipient, const UInt256& amountIn,
                               const UInt256& amountOutMinimum);
// 68 bytes: the selector, amountMinimum, recipient.
Bytes unwrapWETH9Calldata(const UInt256& amountMinimum, ByteView recipient);
// The ABI encoding of multicall(deadline, calls): selector, deadline, the array's offset (64),
// its length, one offset per call, then each call's length and bytes padded to 32.
Bytes multicallCalldata(std::uint64_t deadline, const std::vector<Bytes>& calls);

struct RouterCall {
    Bytes data;
    UInt256 value; // wei to attach: the input amount when the input is native
    Bytes router;  // 20 bytes
};

// The router call for `quote` (made by uniswapQuote on `chain`) paying out to `recipient`
// (20 bytes). Native output: multicall [exactInputSingle to the router itself, unwrapWETH9 of
// the minimum to the recipient] with the deadline now + 20 minutes, value 0. Otherwise a plain
// exactInputSingle to the recipient. Touches no network; unusable addresses or a non-EVM
// chain stop the process (the quote already checked them).
RouterCall
uniswapSwapCalldata(const SwapQuote& quote, ByteView recipient, Chain chain,
                    std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

} // namespace qm
