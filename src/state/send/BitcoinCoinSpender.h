#pragma once
// What an Electrum server knows of the coins a transaction of ours spends: a coin spent by a
// transaction that is not ours, signed by the coin's key, is the proof that ours can no longer
// land; nothing found proves nothing (the server may not have seen a spender yet, or may lag,
// or may list a spender it made up), so ours may still land.
//
//     QCoro::Task<CoinSpender> asking = coinSpender(client, tx.spends, tx.id);
//     if (co_await std::move(asking) == CoinSpender::another) ... // ours has lapsed
//
// A coin's spender is looked for in the history of the coin's script hash, among the entries
// at or after the coin's own height and those in the mempool; each candidate is fetched and read
// whole: another transaction counts only when its witness for the coin verifies against the
// coin's script and amount. A reused address may have a long history: a look fetches at most
// coinSpenderFetches transactions and cannot say when it would need more. GUI thread only.

#include "services/bitcoin/BTCTransactionParser.h"
#include "state/signing/Signer.h"

#include <memory>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

class ElectrumClient;

enum class CoinSpender {
    none,    // no transaction the server knows spends any of the coins
    ours,    // our own transaction spends them: the server holds it
    another, // a transaction that is not ours spends one of them, its witness verified
};

// How many transactions one look fetches at most.
inline constexpr int coinSpenderFetches = 24;

// The transaction `txid` as the server holds it (blockchain.transaction.get), read strictly.
// Throws the client's errors (a server error: the server does not know it), and
// ElectrumError::invalidResponse for an answer that is not exactly the transaction `txid`.
QCoro::Task<BTCTransactionParser::Transaction>
fetchBitcoinTransaction(std::shared_ptr<ElectrumClient> client, std::string txid);

// Who spends `coins`, the coins our transaction `txid` spends (see above). Throws when the
// server cannot say: any error of the client, an answer that cannot be read, or more
// candidates than one look fetches.
QCoro::Task<CoinSpender> coinSpender(std::shared_ptr<ElectrumClient> client,
                                     std::vector<BTCSpend> coins, std::string txid);

} // namespace qm
