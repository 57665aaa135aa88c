#include "state/send/BitcoinCoinSpender.h"

#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/bitcoin/ElectrumScriptHash.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

namespace qm {
namespace {

class TooLongToTell : public Error {
public:
    TooLongToTell() : Error("The server's history is too long to tell who spent the coins.") {}
};

// The histories and transactions read in one look: a spender of several of our coins, or coins
// at one address, are fetched once.
struct Look {
    std::shared_ptr<ElectrumClient> client;
    std::map<std::string, std::vector<ElectrumTxRef>> histories;
    std::map<std::string, std::vector<std::string>> spentBy;
    int fetches = 0;
};

// The entries of `history` that may spend `coin`: not the coin's own transaction, in the
// mempool or at or after the height of the coin's own transaction (as the history gives it,
// else as the coin was listed; a coin in the mempool is spent there too); the mempool first,
// then the latest blocks, where a spender is most likely.
std::vector<ElectrumTxRef> candidates(const std::vector<ElectrumTxRef>& history, const UTXO& coin) {
    const std::string own = lowercaseASCII(coin.txHash);
    std::int64_t height = coin.height;
    for (const ElectrumTxRef& entry : history) {
        if (lowercaseASCII(entry.tx_hash) == own) {
            height = entry.height;
        }
    }
    std::vector<ElectrumTxRef> found;
    for (const ElectrumTxRef& entry : history) {
        const bool pooled = entry.height <= 0;
        if (lowercaseASCII(entry.tx_hash) != own &&
            (pooled || (height > 0 && entry.height >= height))) {
            found.push_back(entry);
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        const bool pooledA = a.height <= 0;
        const bool pooledB = b.height <= 0;
        return pooledA != pooledB ? pooledA : (!pooledA && a.height > b.height);
    });
    return found;
}

QCoro::Task<const std::vector<ElectrumTxRef>*> historyOf(Look& look, const UTXO& coin) {
    const std::string scriptHash = electrumScriptHashOfScript(coin.scriptPubKey);
    auto found = look.histories.find(scriptHash);
    if (found == look.histories.end()) {
        QCoro::Task<std::vector<ElectrumTxRef>> asking = look.client->getHistory(scriptHash);
        std::vector<ElectrumTxRef> history = co_await std::move(asking);
        found = look.histories.emplace(scriptHash, std::move(history)).first;
    }
    co_return &found->second;
}

// The transaction that spends `coin` among the candidates of its history; none when none does.
// Throws past the bound on fetches.
QCoro::Task<std::optional<std::string>> spenderOf(Look& look, const BTCSpend& coin) {
    QCoro::Task<const std::vector<ElectrumTxRef>*> reading = historyOf(look, coin.utxo);
    const std::vector<ElectrumTxRef>* history = co_await std::move(reading);
    const std::string outpoint = lowercaseASCII(coin.utxo.id());
    for (const ElectrumTxRef& entry : candidates(*history, coin.utxo)) {
        const std::string id = lowercaseASCII(entry.tx_hash);
        auto spent = look.spentBy.find(id);
        if (spent == look.spentBy.end()) {
            if (look.fetches == coinSpenderFetches) {
                throw TooLongToTell();
            }
            ++look.fetches;
            QCoro::Task<BTCTransactionParser::Spending> fetching =
                fetchBitcoinTransaction(look.client, id);
            BTCTransactionParser::Spending read = co_await std::move(fetching);
            spent = look.spentBy.emplace(id, std::move(read.outpoints)).first;
        }
        if (std::find(spent->second.begin(), spent->second.end(), outpoint) !=
            spent->second.end()) {
            co_return id;
        }
    }
    co_return std::nullopt;
}

} // namespace

QCoro::Task<BTCTransactionParser::Spending>
fetchBitcoinTransaction(std::shared_ptr<ElectrumClient> client, std::string txid) {
    std::vector<ElectrumClient::JSONValue> params;
    params.push_back(ElectrumClient::JSONValue::string(txid));
    QCoro::Task<nlohmann::json> asking =
        client->call(std::string("blockchain.transaction.get"), std::move(params));
    const nlohmann::json raw = co_await std::move(asking);
    // Only the transaction asked for is an answer: another one, or anything that is no
    // transaction, says nothing either way.
    std::optional<BTCTransactionParser::Spending> read =
        raw.is_string() ? BTCTransactionParser::spending(raw.get<std::string>()) : std::nullopt;
    if (!read || read->id != lowercaseASCII(txid)) {
        throw ElectrumError::invalidResponse();
    }
    co_return std::move(*read);
}

QCoro::Task<CoinSpender> coinSpender(std::shared_ptr<ElectrumClient> client,
                                     std::vector<BTCSpend> coins, std::string txid) {
    Look look{std::move(client), {}, {}, 0};
    const std::string ours = lowercaseASCII(txid);
    for (const BTCSpend& coin : coins) {
        QCoro::Task<std::optional<std::string>> finding = spenderOf(look, coin);
        const std::optional<std::string> spender = co_await std::move(finding);
        if (spender) {
            co_return *spender == ours ? CoinSpender::ours : CoinSpender::another;
        }
    }
    co_return CoinSpender::none;
}

} // namespace qm
