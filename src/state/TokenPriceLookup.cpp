#include "state/TokenPriceLookup.h"

namespace qm {

TokenPriceLookup::~TokenPriceLookup() = default;

QCoro::Task<std::optional<double>>
TokenPriceLookup::tokenPriceUSD(Token, std::shared_ptr<JSONRPCClient>, CancellationToken) {
    co_return std::nullopt;
}

} // namespace qm
