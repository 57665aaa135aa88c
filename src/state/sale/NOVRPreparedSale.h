#pragma once
// A buy or a sale of NOVR on Arbitrum One prepared for its review: the order the user
// confirms, and the sale contract's call with the approval of the token it spends when the
// allowance is short (EVMPreparedCall: fee caps, tips, gas limits and the max network fee the
// review shows). Made from the wallet's first Arbitrum account with the node's figures of the
// moment; the run (runNOVRSale) signs exactly these figures. GUI thread only.

#include "core/crypto/UInt256.h"
#include "platform/async/CancellationToken.h"
#include "state/flows/EVMPreparedCall.h"

#include <QPointer>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class AppState;

// What the user confirms: a buy of `amount` NOVR base units for at most `maxCost` USDC base
// units, or a sale of `amount`.
struct NOVRSaleOrder {
    enum class Direction { buy, sell };
    Direction direction = Direction::buy;
    UInt256 amount;
    std::optional<UInt256> maxCost; // buys only: without one a buy fails with "Invalid amount"

    bool operator==(const NOVRSaleOrder&) const = default;
};

struct NOVRPreparedSale {
    NOVRSaleOrder order;
    EVMPreparedCall call;

    bool operator==(const NOVRPreparedSale&) const = default;
};

// `order` prepared from the state's first Arbitrum account: the sale contract must answer at
// its address (a call to an address without code succeeds, and so would a buy sent there),
// then the allowance of USDC (buy, up to the maximum cost) or NOVR (sale, the amount) and the
// node's figures. Throws NOVRError::noAccount, poolCallFailed (an unusable sender, a sale
// contract that does not answer), invalidAmount (nothing to buy or sell, a buy without a
// maximum cost), the client's errors (an estimate refused: a price above the maximum, too
// little to pay for gas) and std::range_error.
QCoro::Task<NOVRPreparedSale> prepareNOVRSale(QPointer<AppState> state, NOVRSaleOrder order,
                                              CancellationToken cancel);

} // namespace qm
