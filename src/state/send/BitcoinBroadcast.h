#pragma once
// A signed Bitcoin transaction as the flow base sends it (SignedBroadcast): its id computed
// here, the server's answer checked against it, and the chain asked through whichever Electrum
// connection is alive at the time. GUI thread only.

#include "services/bitcoin/BTCTransaction.h"
#include "state/flows/SignedBroadcast.h"

#include <QPointer>
#include <memory>
#include <string>
#include <vector>

namespace qm {

class AppState;
class ElectrumClient;

// The txid of `transaction`: the double SHA-256 of its form without witnesses, byte-reversed,
// in lowercase hex, as block explorers and Electrum servers write it.
std::string bitcoinTransactionID(const BTCUnsignedTransaction& transaction);

// `transaction` (signed) for broadcastSigned: sent first through `client`
// (blockchain.transaction.broadcast), later through the state's live connection; looked up with
// blockchain.transaction.get (a server error: unknown; a transaction that is not ours, or no
// transaction at all: the server cannot say). A server error is a refusal.
SignedBroadcast bitcoinBroadcast(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                                 const BTCUnsignedTransaction& transaction);
// The same, from the signed transaction's raw hex and its txid, kept with the coins it spends
// (what a later signing must spend too) as an attempt of the account `accountID`.
SignedBroadcast bitcoinBroadcast(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                                 std::string rawHex, std::string txid, std::string accountID,
                                 std::vector<BTCSpend> spends);

// A stored attempt (UnsettledAttempt) of the Bitcoin account made sendable again.
SignedBroadcast bitcoinAttempt(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                               const UnsettledAttempt& stored);

// The earlier attempts of the Bitcoin account `accountID`, as its send asks about them.
AttemptScope bitcoinAttemptScope(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                                 const std::string& accountID);

} // namespace qm
