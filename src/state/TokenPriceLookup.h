#pragma once
// The USD price of one whole ERC-20 token, as the EVM balance refresh asks for it. This base
// knows no price (tests that must not reach a quoter use it); the wallet's own lookup is
// UniswapTokenPrices.

#include "core/model/Token.h"
#include "platform/async/CancellationToken.h"
#include "services/evm/JSONRPCClient.h"

#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class TokenPriceLookup {
public:
    virtual ~TokenPriceLookup();

    // The price of one whole `token`, quoted over its chain's `client`; none when the token
    // has none (no pool). Throws when the node could not be asked. Cancelling `cancel` aborts
    // its requests.
    virtual QCoro::Task<std::optional<double>>
    tokenPriceUSD(Token token, std::shared_ptr<JSONRPCClient> client, CancellationToken cancel);
};

} // namespace qm
