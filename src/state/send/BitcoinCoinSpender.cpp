#include "state/send/BitcoinCoinSpender.h"

#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "services/bitcoin/BTCWitnessVerifier.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/bitcoin/ElectrumScriptHash.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace qm {
namespace {

class TooLongToTell : public Error {
public:
    TooLongToTell() : Error("The server's history is too long to tell who spent the coins.") {}
};

// A transaction fetched in a look, and what it spends.
struct Candidate {
    BTCTransactionParser::Transaction transaction;
    std::set<std::string> outpoints;
    // Its witness for a coin of ours did not verify: it can never land (a transaction is valid
    // only with every input's), so nothing it claims proves anything, and it is not checked
    // again for our other coins.
    bool provesNothing = false;
};

// The histories and transactions read in one look: a spender of several of our coins, or coins
// at one address, are fetched once.
struct Look {
    std::shared_ptr<ElectrumClient> client;
    std::string ours; // our transaction's id, in lower case
    std::map<std::string, std::vector<ElectrumTxRef>> histories;
    std::map<std::string, Candidate> fetched;
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

// Who spends `coin` among the candidates of its history: our transaction, or another whose
// witness for the coin verifies. A transaction that claims the coin without such a witness is
// what anyone could write, so it proves nothing and the look goes on. None when none does;
// throws past the bound on fetches.
QCoro::Task<std::optional<CoinSpender>> spenderOf(Look& look, const BTCSpend& coin) {
    QCoro::Task<const std::vector<ElectrumTxRef>*> reading = historyOf(look, coin.utxo);
    const std::vector<ElectrumTxRef>* history = co_await std::move(reading);
    const std::string outpoint = lowercaseASCII(coin.utxo.id());
    for (const ElectrumTxRef& entry : candidates(*history, coin.utxo)) {
        const std::string id = lowercaseASCII(entry.tx_hash);
        auto found = look.fetched.find(id);
        if (found == look.fetched.end()) {
            if (look.fetches == coinSpenderFetches) {
                throw TooLongToTell();
            }
            ++look.fetches;
            QCoro::Task<BTCTransactionParser::Transaction> fetching =
                fetchBitcoinTransaction(look.client, id);
            BTCTransactionParser::Transaction read = co_await std::move(fetching);
            const std::vector<std::string> spent = read.outpoints();
            found =
                look.fetched.emplace(id, Candidate{std::move(read), {spent.begin(), spent.end()}})
                    .first;
        }
        Candidate& candidate = found->second;
        if (candidate.provesNothing || !candidate.outpoints.contains(outpoint)) {
            continue;
        }
        if (candidate.transaction.id == look.ours) {
            co_return CoinSpender::ours;
        }
        if (BTCWitnessVerifier::spends(candidate.transaction, coin.utxo)) {
            co_return CoinSpender::another;
        }
        candidate.provesNothing = true;
    }
    co_return std::nullopt;
}

} // namespace

QCoro::Task<BTCTransactionParser::Transaction>
fetchBitcoinTransaction(std::shared_ptr<ElectrumClient> client, std::string txid) {
    std::vector<ElectrumClient::JSONValue> params;
    params.push_back(ElectrumClient::JSONValue::string(txid));
    QCoro::Task<nlohmann::json> asking =
        client->call(std::string("blockchain.transaction.get"), std::move(params));
    const nlohmann::json raw = co_await std::move(asking);
    // Only the transaction asked for is an answer: another one, or anything that is no
    // transaction, says nothing either way.
    std::optional<BTCTransactionParser::Transaction> read =
        raw.is_string() ? BTCTransactionParser::transaction(raw.get<std::string>()) : std::nullopt;
    if (!read || read->id != lowercaseASCII(txid)) {
        throw ElectrumError::invalidResponse();
    }
    co_return std::move(*read);
}

QCoro::Task<CoinSpender> coinSpender(std::shared_ptr<ElectrumClient> client,
                                     std::vector<BTCSpend> coins, std::string txid) {
    Look look{std::move(client), lowercaseASCII(txid), {}, {}, 0};
    for (const BTCSpend& coin : coins) {
        QCoro::Task<std::optional<CoinSpender>> finding = spenderOf(look, coin);
        const std::optional<CoinSpender> spender = co_await std::move(finding);
        if (spender) {
            co_return *spender;
        }
    }
    co_return CoinSpender::none;
}

} // namespace qm
