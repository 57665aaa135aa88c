#include "state/send/BitcoinBroadcast.h"

#include "core/encoding/Hex.h"
#include "platform/Crypto.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/send/BitcoinPreparedSend.h"

#include <algorithm>
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

struct BitcoinTransport {
    QPointer<AppState> state;
    // The connection the transaction was prepared on, used while it lasts.
    std::shared_ptr<ElectrumClient> first;
};

QCoro::Task<std::string> sendRaw(std::shared_ptr<BitcoinTransport> transport, std::string rawHex,
                                 CancellationToken cancel) {
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting =
        liveClient(transport->state, transport->first, std::move(cancel));
    const std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    QCoro::Task<std::string> sending = client->broadcast(std::move(rawHex));
    co_return co_await std::move(sending);
}

QCoro::Task<bool> knownToServer(std::shared_ptr<BitcoinTransport> transport, std::string txid,
                                CancellationToken cancel) {
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting =
        liveClient(transport->state, transport->first, std::move(cancel));
    const std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    std::vector<ElectrumClient::JSONValue> params;
    params.push_back(ElectrumClient::JSONValue::string(txid));
    try {
        QCoro::Task<nlohmann::json> asking =
            client->call(std::string("blockchain.transaction.get"), std::move(params));
        const nlohmann::json raw = co_await std::move(asking);
        // Only our own transaction is the server's word that it holds it: another one, or
        // anything that is no transaction, says nothing either way.
        const std::optional<std::string> id =
            raw.is_string() ? BTCTransactionParser::transactionID(raw.get<std::string>())
                            : std::nullopt;
        if (id != txid) {
            throw ElectrumError::invalidResponse();
        }
        co_return true;
    } catch (const ElectrumError& error) {
        // "No such mempool or blockchain transaction": the server's word that it is unknown.
        if (!error.isRefusal()) {
            throw;
        }
    }
    co_return false;
}

bool isServerRefusal(const std::exception& error) {
    const auto* failure = dynamic_cast<const ElectrumError*>(&error);
    return failure && failure->isRefusal();
}

} // namespace

std::string bitcoinTransactionID(const BTCUnsignedTransaction& transaction) {
    Bytes hash = crypto::sha256(
        crypto::sha256(BTCSigner::serialize(false, transaction.version, transaction.inputs,
                                            transaction.outputs, transaction.lockTime)));
    std::reverse(hash.begin(), hash.end());
    return bytesToPlainHex(hash);
}

SignedBroadcast bitcoinBroadcast(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                                 const BTCUnsignedTransaction& transaction) {
    return bitcoinBroadcast(
        std::move(state), std::move(client),
        bytesToPlainHex(BTCSigner::serialize(true, transaction.version, transaction.inputs,
                                             transaction.outputs, transaction.lockTime)),
        bitcoinTransactionID(transaction), {}, {});
}

SignedBroadcast bitcoinBroadcast(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                                 std::string rawHex, std::string txid, std::string accountID,
                                 std::vector<BTCSpend> spends) {
    auto transport = std::make_shared<BitcoinTransport>(BitcoinTransport{state, std::move(client)});
    SignedBroadcast tx;
    tx.id = std::move(txid);
    tx.send = [transport, raw = rawHex](CancellationToken cancel) {
        return sendRaw(transport, raw, std::move(cancel));
    };
    tx.lookup = [transport, txid = tx.id](CancellationToken cancel) {
        return knownToServer(transport, txid, std::move(cancel));
    };
    tx.refused = isServerRefusal;
    tx.caseInsensitive = true;
    tx.record.chain = Chain::bitcoin;
    tx.record.account = std::move(accountID);
    tx.record.id = tx.id;
    tx.record.wire = std::move(rawHex);
    tx.record.coins = std::move(spends);
    return tx;
}

SignedBroadcast bitcoinAttempt(QPointer<AppState> state, std::shared_ptr<ElectrumClient> client,
                               const UnsettledAttempt& stored) {
    SignedBroadcast tx = bitcoinBroadcast(std::move(state), std::move(client), stored.wire,
                                          stored.id, stored.account, stored.coins);
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
