#pragma once
// A signed Bitcoin transaction as the flow base sends it (SignedBroadcast): its id computed
// here, the server's answer checked against it, and the chain asked through whichever Electrum
// connection is alive at the time. GUI thread only (the bytes of a new one are made off it).

#include "services/bitcoin/BTCTransaction.h"
#include "state/flows/SignedBroadcast.h"
#include "state/signing/Signer.h"

#include <QPointer>
#include <memory>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

class AppState;
class ElectrumClient;

// The txid of `transaction`: the double SHA-256 of its form without witnesses, byte-reversed,
// in lowercase hex, as block explorers and Electrum servers write it.
std::string bitcoinTransactionID(const BTCUnsignedTransaction& transaction);

// A signed transaction for broadcastSigned: `rawHex` its signed bytes, `txid` their id (in any
// letter case), `conflict` the coins it spends, each with its outpoint, value, height, script
// and derivation index (set as the broadcast's conflict: a later signing spends them too).
// Sent first through `client` (blockchain.transaction.broadcast; none: the state's live
// connection from the start), later through the state's live connection. Looked up with
// blockchain.transaction.get (a server error: unknown; a transaction that is not ours, or no
// transaction at all: the server cannot say), and, while the server does not know it, our
// transaction found spending the coins makes it known. It has lapsed once a transaction the
// server knows, not ours, spends one of the coins (BitcoinCoinSpender; nothing found: it may
// still land). A server error is a refusal. Throws Error when `rawHex` is not one whole
// transaction whose id is `txid` (an attempt kept from an earlier run is rebuilt by
// bitcoinAttempt, which does not throw).
SignedBroadcast bitcoinBroadcast(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                                 std::string rawHex, std::string txid,
                                 std::vector<BTCSpend> conflict);

// `transaction` (signed), which spends `spends`, as above; its bytes and id are made and checked
// on a worker thread (they grow with its inputs). Throws as above.
QCoro::Task<SignedBroadcast> bitcoinBroadcast(QPointer<AppState> state,
                                              std::shared_ptr<ElectrumClient> client,
                                              BTCUnsignedTransaction transaction,
                                              std::vector<BTCSpend> spends);

// A stored attempt (UnsettledAttempt) of the Bitcoin account made sendable again. Stored bytes
// that are not the transaction it names are never sent (its send throws Error), yet it binds
// its coins and is looked up by its id as any other.
SignedBroadcast bitcoinAttempt(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                               const UnsettledAttempt& stored);

// The earlier attempts of the Bitcoin account `accountID`, as its send asks about them.
AttemptScope bitcoinAttemptScope(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                                 const std::string& accountID);

} // namespace qm
