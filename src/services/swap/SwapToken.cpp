#include "services/swap/SwapToken.h"

#include "services/swap/EVMSwapTokens.h"

namespace qm {

SwapToken SwapToken::native(Chain chain) {
    return {nativeSymbol(chain), "native", nativeDecimals(chain), true};
}

const std::string& contractAddress(const SwapToken& token, Chain chain) {
    return token.isNative ? wrappedNativeAddress(chain) : token.address;
}

} // namespace qm
