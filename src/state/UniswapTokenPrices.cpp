#include "state/UniswapTokenPrices.h"

#include "services/swap/UniswapQuoter.h"

namespace qm {

QCoro::Task<std::optional<double>>
UniswapTokenPrices::tokenPriceUSD(Token token, std::shared_ptr<JSONRPCClient> client,
                                  CancellationToken cancel) {
    return quoteUSDPrice(std::move(token), std::move(client), std::move(cancel));
}

} // namespace qm
