#pragma once
// A Uniswap V3 swap on Ethereum, Arbitrum or Polygon prepared for its review: the quote the
// user reviews and the router call with the approval it needs first when the input token's
// allowance for the router is short (EVMPreparedCall: fee caps, tips, gas limits and the max
// network fee the review shows). Made from the chain's first account with the node's figures
// of the moment; the swap (runEVMSwap) signs exactly these figures.

#include "core/model/Chain.h"
#include "platform/async/CancellationToken.h"
#include "services/swap/SwapQuote.h"
#include "state/flows/EVMPreparedCall.h"

#include <QPointer>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class AppState;

// What the user reviews: the quote on its chain, from the chain's first account.
struct EVMSwapOrder {
    Chain chain = Chain::ethereum;
    SwapQuote quote;
    std::string sender; // "0x" and 40 hex digits; empty: none

    bool operator==(const EVMSwapOrder&) const = default;
};

struct EVMPreparedSwap {
    EVMSwapOrder order;
    EVMPreparedCall call;

    bool operator==(const EVMPreparedSwap&) const = default;
};

// What the swap asks of the chain for `order`: the router call of its quote (a deadline 20
// minutes from `now` when the output is the coin), the input token and the router as spender
// of its amount (no token when the coin is paid), a fee cap of three times the gas price and
// a fifth over the larger of the estimate and 200,000 as gas limit. Throws
// SwapError::transactionFailed("No account") without a sender or off the EVM chains,
// transactionFailed("Invalid sender") and invalidToken for addresses that are not 20 bytes.
EVMCallPlan swapCallPlan(const EVMSwapOrder& order);

// `order` prepared with the node's figures of the moment. Throws as swapCallPlan, the client's
// errors (an estimate the node refuses: too little output, too little to pay for gas) and
// std::range_error for figures out of range.
QCoro::Task<EVMPreparedSwap> prepareEVMSwap(QPointer<AppState> state, EVMSwapOrder order,
                                            CancellationToken cancel);

} // namespace qm
