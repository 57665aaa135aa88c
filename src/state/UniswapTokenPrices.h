#pragma once
// The wallet's token prices: each ERC-20 token quoted against its chain's USDC through the
// Uniswap V3 quoter.

#include "state/TokenPriceLookup.h"

namespace qm {

class UniswapTokenPrices : public TokenPriceLookup {
public:
    QCoro::Task<std::optional<double>> tokenPriceUSD(Token token,
                                                     std::shared_ptr<JSONRPCClient> client,
                                                     CancellationToken cancel) override;
};

} // namespace qm
