#include "state/sale/NOVRPreparedSale.h"

#include "core/encoding/Hex.h"
#include "core/model/Chain.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/JSONRPCClient.h"
#include "services/sale/NOVRError.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"
#include "state/flows/EarlierAttemptNote.h"

#include <string>

namespace qm {
namespace {

constexpr std::uint64_t saleGasFloor = 200'000;
constexpr std::uint64_t saleFeeFactor = 3;

} // namespace

QCoro::Task<NOVRPreparedSale> prepareNOVRSale(QPointer<AppState> state, NOVRSaleOrder order,
                                              CancellationToken cancel) {
    if (!state || state->evmAccounts(Chain::arbitrum).empty()) {
        throw NOVRError::noAccount();
    }
    EVMCallPlan plan;
    plan.chain = Chain::arbitrum;
    plan.sender = state->evmAccounts(Chain::arbitrum).front().account.address;
    const std::optional<Bytes> sender = hexToBytes(plan.sender);
    if (!sender || sender->size() != 20) {
        throw NOVRError::poolCallFailed("Invalid sender address");
    }
    const std::shared_ptr<JSONRPCClient> client =
        state->networkManager().evmClient(Chain::arbitrum);
    const std::optional<EVMFeeFloor> replacing = earlierAttemptFeeFloor(*state, Chain::arbitrum);
    QCoro::Task<UInt256> probing = fetchFloorPrice(client, cancel);
    co_await std::move(probing);
    const bool buying = order.direction == NOVRSaleOrder::Direction::buy;
    if (order.amount.isZero() || (buying && !order.maxCost)) {
        throw NOVRError::invalidAmount();
    }
    plan.token = saleAddressBytes(buying ? usdcArbitrumAddress : novrTokenAddress);
    plan.spender = saleAddressBytes(novrSaleContractAddress);
    plan.required = buying ? *order.maxCost : order.amount;
    plan.to = plan.spender;
    plan.data = buying ? buyCalldata(order.amount, *order.maxCost) : sellCalldata(order.amount);
    plan.gasFloor = saleGasFloor;
    plan.feeFactor = saleFeeFactor;
    QCoro::Task<EVMPreparedCall> preparing =
        prepareEVMCall(client, std::move(plan), std::move(cancel), replacing);
    EVMPreparedCall call = co_await std::move(preparing);
    co_return NOVRPreparedSale{std::move(order), std::move(call)};
}

} // namespace qm
