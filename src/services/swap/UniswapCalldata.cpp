#include "services/swap/UniswapCalldata.h"

#include "core/encoding/Hex.h"
#include "platform/Error.h"
#include "services/evm/ERC20.h"
#include "services/swap/EVMSwapTokens.h"

namespace qm {
namespace {

constexpr std::size_t addressLength = 20;
constexpr std::size_t wordLength = 32;
constexpr std::uint64_t deadlineSeconds = 1200;

void appendWord(Bytes& out, const UInt256& value) {
    const Bytes word = value.bigEndianWord();
    out.insert(out.end(), word.begin(), word.end());
}

void appendWord(Bytes& out, std::uint64_t value) {
    appendWord(out, UInt256(0, 0, 0, value));
}

void appendAddress(Bytes& out, ByteView address) {
    if (address.size() != addressLength) {
        fatalError("Uniswap call data: an address is not 20 bytes");
    }
    appendWord(out, UInt256::fromBigEndianBytes(address));
}

Bytes checkedAddress(const std::string& text) {
    std::optional<Bytes> bytes = hexToBytes(text);
    if (!bytes || bytes->size() != addressLength) {
        fatalError("Uniswap call data: an address does not decode");
    }
    return std::move(*bytes);
}

std::size_t paddedLength(std::size_t length) {
    return (length + wordLength - 1) / wordLength * wordLength;
}

} // namespace

const Bytes& exactInputSingleSelector() {
    static const Bytes selector = functionSelector(
        "exactInputSingle((address,address,uint24,address,uint256,uint256,uint160))");
    return selector;
}

const Bytes& multicallSelector() {
    static const Bytes selector = functionSelector("multicall(uint256,bytes[])");
    return selector;
}

const Bytes& unwrapWETH9Selector() {
    static const Bytes selector = functionSelector("unwrapWETH9(uint256,address)");
    return selector;
}

const Bytes& routerSelfRecipient() {
    static const Bytes address = [] {
        Bytes bytes(addressLength, 0);
        bytes.back() = 2;
        return bytes;
    }();
    return address;
}

Bytes exactInputSingleCalldata(ByteView tokenIn, ByteView tokenOut, std::uint64_t fee,
                               ByteView recipient, const UInt256& amountIn,
                               const UInt256& amountOutMinimum) {
    Bytes out = exactInputSingleSelector();
    appendAddress(out, tokenIn);
    appendAddress(out, tokenOut);
    appendWord(out, fee);
    appendAddress(out, recipient);
    appendWord(out, amountIn);
    appendWord(out, amountOutMinimum);
    appendWord(out, UInt256());
    return out;
}

Bytes unwrapWETH9Calldata(const UInt256& amountMinimum, ByteView recipient) {
    Bytes out = unwrapWETH9Selector();
    appendWord(out, amountMinimum);
    appendAddress(out, recipient);
    return out;
}

Bytes multicallCalldata(std::uint64_t deadline, const std::vector<Bytes>& calls) {
    Bytes out = multicallSelector();
    appendWord(out, deadline);
    appendWord(out, 2 * wordLength); // the array follows the two head words
    appendWord(out, calls.size());
    std::size_t offset = calls.size() * wordLength;
    for (const Bytes& call : calls) {
        appendWord(out, offset);
        offset += wordLength + paddedLength(call.size());
    }
    for (const Bytes& call : calls) {
        appendWord(out, call.size());
        out.insert(out.end(), call.begin(), call.end());
        out.resize(out.size() + paddedLength(call.size()) - call.size(), 0);
    }
    return out;
}

RouterCall uniswapSwapCalldata(const SwapQuote& quote, ByteView recipient, Chain chain,
                               std::chrono::system_clock::time_point now) {
    if (!isEVMChain(chain)) {
        fatalError("uniswapSwapCalldata: not an EVM chain");
    }
    RouterCall call;
    call.router = checkedAddress(uniswapRouterAddress);
    const Bytes tokenIn = checkedAddress(contractAddress(quote.tokenIn, chain));
    const Bytes tokenOut = checkedAddress(contractAddress(quote.tokenOut, chain));
    if (quote.tokenOut.isNative) {
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
        if (seconds < 0) {
            fatalError("uniswapSwapCalldata: the clock is before 1970");
        }
        const std::vector<Bytes> calls = {
            exactInputSingleCalldata(tokenIn, tokenOut, quote.fee, routerSelfRecipient(),
                                     quote.amountIn, quote.amountOutMinimum),
            unwrapWETH9Calldata(quote.amountOutMinimum, recipient)};
        call.data = multicallCalldata(static_cast<std::uint64_t>(seconds) + deadlineSeconds, calls);
        return call;
    }
    call.data = exactInputSingleCalldata(tokenIn, tokenOut, quote.fee, recipient, quote.amountIn,
                                         quote.amountOutMinimum);
    if (quote.tokenIn.isNative) {
        call.value = quote.amountIn;
    }
    return call;
}

} // namespace qm
