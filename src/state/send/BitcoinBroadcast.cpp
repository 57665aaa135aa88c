#include "state/send/BitcoinBroadcast.h"

#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "platform/Crypto.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/send/BitcoinCoinSpender.h"
#include "state/send/BitcoinPreparedSend.h"

#include <QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

namespace qm {
namespace {

// The client of the moment, a new connection when the last one has ended (a lost answer often
// takes its connection with it).
QCoro::Task<std::shared_ptr<ElectrumClient>> liveClient(QPointer<AppState> state,
                                                        std::shared_ptr<ElectrumClient> first,
                                                        CancellationToken cancel) {
    if (first && first->isConnected()) {
        co_return first;
    }
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting = bitcoinClient(state, cancel);
    std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    if (!client->isConnected() && state) {
        state->networkManager().setElectrumConnected(false);
        connecting = bitcoinClient(state, cancel);
        client = co_await std::move(connecting);
    }
    co_return client;
}

// What the closures of one broadcast share.
struct BitcoinAttempt {
    QPointer<AppState> state;
    // The connection the transaction was prepared on, used while it lasts.
    std::shared_ptr<ElectrumClient> first;
    std::string txid;
    std::vector<BTCSpend> coins;
    // What a lookup that did not know the id found spending the coins: the lapse check that
    // follows it in the same look (see SignedBroadcast) reads it instead of asking again.
    std::optional<CoinSpender> justFound;
};

QCoro::Task<std::shared_ptr<ElectrumClient>> clientOf(std::shared_ptr<BitcoinAttempt> attempt,
                                                      CancellationToken cancel) {
    return liveClient(attempt->state, attempt->first, std::move(cancel));
}

QCoro::Task<std::string> sendRaw(std::shared_ptr<BitcoinAttempt> attempt, std::string rawHex,
                                 CancellationToken cancel) {
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting = clientOf(attempt, std::move(cancel));
    const std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    QCoro::Task<std::string> sending = client->broadcast(std::move(rawHex));
    co_return co_await std::move(sending);
}

// Whether the server holds the transaction: it answers with it (a server error: it does not;
// another transaction, or none, says nothing), or, when it does not, it knows our transaction
// spending the coins (a server behind a load balancer may answer the history from a backend
// that has it).
QCoro::Task<bool> knownToServer(std::shared_ptr<BitcoinAttempt> attempt, CancellationToken cancel) {
    attempt->justFound.reset();
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting = clientOf(attempt, std::move(cancel));
    const std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    try {
        QCoro::Task<BTCTransactionParser::Transaction> fetching =
            fetchBitcoinTransaction(client, attempt->txid);
        co_await std::move(fetching);
        co_return true;
    } catch (const ElectrumError& error) {
        // "No such mempool or blockchain transaction": the server's word that it is unknown.
        if (!error.isRefusal()) {
            throw;
        }
    }
    try {
        QCoro::Task<CoinSpender> finding = coinSpender(client, attempt->coins, attempt->txid);
        const CoinSpender found = co_await std::move(finding);
        attempt->justFound = found;
        co_return found == CoinSpender::ours;
    } catch (const std::exception&) {
        // The history cannot say: the server's own word stands.
    }
    co_return false;
}

// Whether a transaction the server knows, not ours, spends one of the coins: then ours can
// never land. Throws when the server cannot say.
QCoro::Task<bool> spentElsewhere(std::shared_ptr<BitcoinAttempt> attempt,
                                 CancellationToken cancel) {
    if (const std::optional<CoinSpender> found = std::exchange(attempt->justFound, std::nullopt)) {
        co_return *found == CoinSpender::another;
    }
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting = clientOf(attempt, std::move(cancel));
    const std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    QCoro::Task<CoinSpender> finding = coinSpender(client, attempt->coins, attempt->txid);
    co_return co_await std::move(finding) == CoinSpender::another;
}

bool isServerRefusal(const std::exception& error) {
    const auto* failure = dynamic_cast<const ElectrumError*>(&error);
    return failure && failure->isRefusal();
}

// The broadcast of `rawHex` as the transaction `txid` (lower case), unchecked.
SignedBroadcast broadcastOf(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                            std::string rawHex, std::string txid, std::vector<BTCSpend> conflict) {
    auto attempt = std::make_shared<BitcoinAttempt>(
        BitcoinAttempt{std::move(state), std::move(client), txid, conflict, std::nullopt});
    SignedBroadcast tx;
    tx.id = std::move(txid);
    tx.send = [attempt, raw = rawHex](CancellationToken cancel) {
        return sendRaw(attempt, raw, std::move(cancel));
    };
    tx.lookup = [attempt](CancellationToken cancel) {
        return knownToServer(attempt, std::move(cancel));
    };
    tx.lapsed = [attempt](CancellationToken cancel) {
        return spentElsewhere(attempt, std::move(cancel));
    };
    tx.refused = isServerRefusal;
    tx.caseInsensitive = true;
    tx.record.chain = Chain::bitcoin;
    tx.record.id = tx.id;
    tx.record.wire = std::move(rawHex);
    // A later signing spends these coins too.
    tx.record.coins = std::move(conflict);
    return tx;
}

// The id of `rawHex` in lower case, when it is one whole transaction whose id is `txid` (in any
// letter case); throws Error otherwise.
std::string checkedID(const std::string& rawHex, const std::string& txid) {
    std::optional<std::string> id = BTCTransactionParser::transactionID(rawHex);
    if (!id || *id != lowercaseASCII(txid)) {
        throw Error("The Bitcoin transaction " + txid + " does not read as that transaction.");
    }
    return std::move(*id);
}

// A new transaction's bytes and id as the worker thread made them, or why it could not.
struct SignedBytes {
    std::string raw;
    std::string id;
    std::exception_ptr failure;
};

} // namespace

std::string bitcoinTransactionID(const BTCUnsignedTransaction& transaction) {
    Bytes hash = crypto::sha256(
        crypto::sha256(BTCSigner::serialize(false, transaction.version, transaction.inputs,
                                            transaction.outputs, transaction.lockTime)));
    std::reverse(hash.begin(), hash.end());
    return bytesToPlainHex(hash);
}

SignedBroadcast bitcoinBroadcast(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                                 std::string rawHex, std::string txid,
                                 std::vector<BTCSpend> conflict) {
    std::string id = checkedID(rawHex, txid);
    return broadcastOf(std::move(state), std::move(client), std::move(rawHex), std::move(id),
                       std::move(conflict));
}

QCoro::Task<SignedBroadcast> bitcoinBroadcast(QPointer<AppState> state,
                                              std::shared_ptr<ElectrumClient> client,
                                              BTCUnsignedTransaction transaction,
                                              std::vector<BTCSpend> spends) {
    QFuture<SignedBytes> encoding = QtConcurrent::run([transaction = std::move(transaction)] {
        SignedBytes bytes;
        try {
            bytes.raw =
                bytesToPlainHex(BTCSigner::serialize(true, transaction.version, transaction.inputs,
                                                     transaction.outputs, transaction.lockTime));
            bytes.id = checkedID(bytes.raw, bitcoinTransactionID(transaction));
        } catch (...) {
            bytes.failure = std::current_exception();
        }
        return bytes;
    });
    SignedBytes bytes = co_await encoding;
    if (bytes.failure) {
        std::rethrow_exception(bytes.failure);
    }
    co_return broadcastOf(std::move(state), std::move(client), std::move(bytes.raw),
                          std::move(bytes.id), std::move(spends));
}

SignedBroadcast bitcoinAttempt(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                               const UnsettledAttempt& stored) {
    SignedBroadcast tx =
        broadcastOf(std::move(state), std::move(client), stored.wire, stored.id, stored.coins);
    if (BTCTransactionParser::transactionID(stored.wire) != stored.id) {
        // Looked up by its id until the chain settles it: it neither blocks the account nor lets
        // a second payment beside it.
        sendNothing(tx);
    }
    tx.record = stored;
    return tx;
}

AttemptScope bitcoinAttemptScope(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                                 const std::string& accountID) {
    AttemptScope scope;
    scope.chain = Chain::bitcoin;
    scope.account = accountID;
    scope.revive = [state, client = std::move(client)](const UnsettledAttempt& stored) {
        return bitcoinAttempt(state, client, stored);
    };
    return scope;
}

} // namespace qm
