#include "services/swap/UniswapQuoter.h"

#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "platform/Error.h"
#include "services/evm/ERC20.h"
#include "services/evm/JSONRPCClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"

#include <algorithm>
#include <exception>

namespace qm {
namespace {

constexpr std::size_t addressLength = 20;
constexpr std::size_t wordLength = 32;
constexpr std::int64_t fullBps = 10000;

std::optional<Bytes> addressBytes(const std::string& text) {
    std::optional<Bytes> bytes = hexToBytes(text);
    if (!bytes || bytes->size() != addressLength) {
        return std::nullopt;
    }
    return bytes;
}

void appendWord(Bytes& out, const UInt256& value) {
    const Bytes word = value.bigEndianWord();
    out.insert(out.end(), word.begin(), word.end());
}

struct TierQuote {
    std::uint64_t fee = 0;
    UInt256 amountOut;
};

// The first tier whose answer is at least one word with a non-zero first word. A failed call
// moves on to the next tier, unless `cancel` ended it: then its failure is rethrown. When no
// tier got an answer from the node at all (every call failed in transport, by HTTP status or
// undecodable), the last failure is rethrown: an unreachable node is not a pair without
// liquidity.
QCoro::Task<std::optional<TierQuote>>
firstQuotingTier(std::shared_ptr<JSONRPCClient> client, Bytes tokenIn, Bytes tokenOut,
                 UInt256 amountIn, std::array<std::uint64_t, 4> tiers, CancellationToken cancel) {
    bool nodeAnswered = false;
    std::exception_ptr lastFailure;
    for (const std::uint64_t fee : tiers) {
        std::string data = bytesToHex(quoterCalldata(tokenIn, tokenOut, amountIn, fee));
        std::string to = uniswapQuoterAddress;
        std::optional<Bytes> answer;
        try {
            auto call = client->ethCall(std::move(to), std::move(data), cancel);
            answer = hexToBytes(co_await std::move(call));
        } catch (const JSONRPCClientError& error) {
            if (cancel.isCancelled()) {
                throw;
            }
            if (error.kind() == JSONRPCClientError::Kind::rpcError) {
                nodeAnswered = true; // a revert: no pool at this tier
            } else {
                lastFailure = std::current_exception();
            }
            continue;
        } catch (...) {
            if (cancel.isCancelled()) {
                throw;
            }
            lastFailure = std::current_exception();
            continue;
        }
        nodeAnswered = true;
        if (!answer || answer->size() < wordLength) {
            continue;
        }
        const UInt256 amountOut = UInt256::fromBigEndianBytes(ByteView(answer->data(), wordLength));
        if (!amountOut.isZero()) {
            co_return TierQuote{fee, amountOut};
        }
    }
    if (!nodeAnswered && lastFailure) {
        std::rethrow_exception(lastFailure);
    }
    co_return std::nullopt;
}

} // namespace

const Bytes& quoteExactInputSingleSelector() {
    static const Bytes selector =
        functionSelector("quoteExactInputSingle((address,address,uint256,uint24,uint160))");
    return selector;
}

Bytes quoterCalldata(ByteView tokenIn, ByteView tokenOut, const UInt256& amountIn,
                     std::uint64_t fee) {
    if (tokenIn.size() != addressLength || tokenOut.size() != addressLength) {
        fatalError("quoterCalldata: an address is not 20 bytes");
    }
    Bytes out = quoteExactInputSingleSelector();
    appendWord(out, UInt256::fromBigEndianBytes(tokenIn));
    appendWord(out, UInt256::fromBigEndianBytes(tokenOut));
    appendWord(out, amountIn);
    appendWord(out, UInt256(0, 0, 0, fee));
    appendWord(out, UInt256());
    return out;
}

UInt256 minimumAmountOut(const UInt256& amountOut, std::int64_t slippageBps) {
    const auto kept =
        static_cast<std::uint64_t>(fullBps - std::clamp<std::int64_t>(slippageBps, 0, fullBps));
    // kept <= 10000, so the quotient never exceeds amountOut and always exists.
    return amountOut.checkedMultiplyDivide(UInt256(0, 0, 0, kept), UInt256(0, 0, 0, fullBps))
        .value_or(UInt256());
}

QCoro::Task<SwapQuote> uniswapQuote(SwapToken tokenIn, SwapToken tokenOut, UInt256 amountIn,
                                    std::int64_t slippageBps, Chain chain,
                                    std::shared_ptr<JSONRPCClient> client,
                                    CancellationToken cancel) {
    if (!isEVMChain(chain)) {
        throw SwapError::invalidToken();
    }
    std::optional<Bytes> in = addressBytes(contractAddress(tokenIn, chain));
    std::optional<Bytes> out = addressBytes(contractAddress(tokenOut, chain));
    if (!in || !out) {
        throw SwapError::invalidToken();
    }
    auto search = firstQuotingTier(std::move(client), std::move(*in), std::move(*out), amountIn,
                                   swapFeeTiers, std::move(cancel));
    const std::optional<TierQuote> found = co_await std::move(search);
    if (!found) {
        throw SwapError::noLiquidity();
    }
    SwapQuote quote;
    quote.amountIn = amountIn;
    quote.amountOut = found->amountOut;
    quote.amountOutMinimum = minimumAmountOut(found->amountOut, slippageBps);
    quote.route =
        tokenIn.symbol + " \u2192 " + feeTierLabel(found->fee) + " \u2192 " + tokenOut.symbol;
    quote.tokenIn = std::move(tokenIn);
    quote.tokenOut = std::move(tokenOut);
    quote.fee = found->fee;
    co_return quote;
}

QCoro::Task<std::optional<double>> quoteUSDPrice(Token token, std::shared_ptr<JSONRPCClient> client,
                                                 CancellationToken cancel) {
    const std::optional<std::string> usdc = usdcAddress(token.chain);
    if (!usdc) {
        co_return std::nullopt;
    }
    const std::string address = lowercaseASCII(token.contractAddress);
    if (address == lowercaseASCII(*usdc)) {
        co_return 1.0;
    }
    for (const std::vector<std::string>& list : stablecoinAddresses()) {
        for (const std::string& stablecoin : list) {
            if (address == lowercaseASCII(stablecoin)) {
                co_return 1.0;
            }
        }
    }
    std::optional<Bytes> tokenBytes = addressBytes(token.contractAddress);
    std::optional<Bytes> usdcBytes = addressBytes(*usdc);
    // One whole token, however many decimals it has (10^18 base units would price a token of
    // more decimals 10^(d-18) times too low).
    const std::optional<UInt256> oneToken =
        token.decimals < 0 ? std::nullopt
                           : UInt256::powerOfTen(static_cast<unsigned>(
                                 std::min<std::int64_t>(token.decimals, 1000)));
    if (!tokenBytes || !usdcBytes || !oneToken) {
        co_return std::nullopt;
    }
    std::optional<TierQuote> found;
    try {
        auto search = firstQuotingTier(std::move(client), std::move(*tokenBytes),
                                       std::move(*usdcBytes), *oneToken, priceFeeTiers, cancel);
        found = co_await std::move(search);
    } catch (...) {
        if (cancel.isCancelled()) {
            co_return std::nullopt;
        }
        throw; // the node unreachable: a price not known, not a token without one
    }
    if (!found) {
        co_return std::nullopt;
    }
    constexpr int usdcDecimals = 6;
    co_return wholeUnits(found->amountOut, usdcDecimals);
}

} // namespace qm
