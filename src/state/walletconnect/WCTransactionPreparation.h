#pragma once
// The transaction of a dApp's "eth_sendTransaction" or "eth_signTransaction", prepared when the
// request arrives so that the review shows what will be signed: what the dApp fixed (nonce,
// gas) as it gave it, the rest from the node. The fee cap is twice the node's gas price, the tip
// the node's (never above the cap), the gas limit the dApp's or the estimate plus a fifth.
// Before signing, the node is asked again; figures the user has not seen are never signed.

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "platform/async/CancellationToken.h"
#include "services/evm/ETHSigner.h"
#include "services/walletconnect/WCRequestCheck.h"
#include "state/flows/EVMReplacementFee.h"

#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class JSONRPCClient;

struct WCPreparedTransaction {
    ETHTransaction transaction;
    bool nonceFromDapp = false;
    bool gasFromDapp = false;
    // Gas limit × fee cap: the most the network can take.
    UInt256 maxFee;
    // The value and the max fee.
    UInt256 total;
};

// What the request sheet shows of a transaction request's preparation: under way, prepared,
// or failed with its reason (the next Sign prepares again).
struct WCTransactionReview {
    bool preparing = false;
    std::optional<WCPreparedTransaction> prepared;
    std::string error;
};

// Asks the node, one request after the other: the nonce of `from` ("pending") unless the dApp
// gave one, the gas price, the priority fee, the gas estimate unless the dApp gave the gas,
// the latest block's gas limit. The fee cap and tip are raised to `replacing` (what a pool asks
// to replace an earlier attempt). Throws the client's errors, UnbelievableFees for the dApp's or
// the node's figures past the bounds no honest chain passes (EVMFeeBounds.h), std::range_error
// for figures that do not fit (a max fee or total past 256 bits).
QCoro::Task<WCPreparedTransaction>
prepareWCTransaction(std::shared_ptr<JSONRPCClient> client, WCTransactionRequest request,
                     Chain chain, std::string from, CancellationToken token = {},
                     std::optional<EVMFeeFloor> replacing = std::nullopt);

// `prepared` with its fee cap and tip raised to `floor`, its max fee and total with them. Throws
// UnbelievableFees past the bounds, std::range_error for figures that do not fit.
WCPreparedTransaction raisedToFloor(WCPreparedTransaction prepared, const EVMFeeFloor& floor);

// An amount of the chain's coin as the review writes it: exact, with the coin's symbol
// ("0.000042 ETH").
std::string exactCoinText(const UInt256& baseUnits, Chain chain);

struct WCTransactionCheck {
    WCPreparedTransaction prepared;
    // A new preparation: the user reviews it before it is signed.
    bool revised = false;
};

// At signing time: the node's gas price, and its estimate when the dApp gave no gas. Above the
// prepared fee cap or gas limit, the transaction is prepared anew (revised, paying
// `replacing`). Otherwise the prepared one as it is, its nonce read again when the dApp gave
// none (an earlier request may have used it meanwhile). Throws as prepareWCTransaction.
QCoro::Task<WCTransactionCheck> recheckWCTransaction(std::shared_ptr<JSONRPCClient> client,
                                                     WCPreparedTransaction prepared,
                                                     WCTransactionRequest request, Chain chain,
                                                     std::string from, CancellationToken token = {},
                                                     std::optional<EVMFeeFloor> replacing = {});

} // namespace qm
